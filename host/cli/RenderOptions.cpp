#include "host/cli/RenderOptions.h"

#include <charconv>
#include <vector>

namespace {

bool parseBlockSize(std::string_view text, int& value)
{
    int parsed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (error != std::errc{} || end != text.data() + text.size())
        return false;
    if (parsed < 1 || parsed > RenderOptions::maxBlockSize)
        return false;
    value = parsed;
    return true;
}

bool parseTempo(std::string_view text, double& value)
{
    double parsed = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (error != std::errc{} || end != text.data() + text.size())
        return false;
    if (!(parsed >= RenderOptions::minTempo && parsed <= RenderOptions::maxTempo))
        return false;
    value = parsed;
    return true;
}

} // namespace

ParsedArguments parseRenderArguments(std::span<const std::string_view> arguments)
{
    ParsedArguments result;
    RenderOptions& options = result.options;
    std::vector<std::string_view> positional;
    bool outputOption = false;
    bool optionsEnded = false;

    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view arg = arguments[i];
        if (optionsEnded || arg == "-" || !arg.starts_with("-")) {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        // Options that take a value accept "--opt VALUE" and "--opt=VALUE".
        std::string_view name = arg;
        std::string_view value;
        bool hasValue = false;
        if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            hasValue = true;
        }
        const bool takesValue = name == "-o" || name == "--output" || name == "-b" || name == "--block" ||
                                name == "--midi" || name == "--tempo" || name == "--set" ||
                                name == "--sidechain" || name == "--preset" || name == "--save-preset";
        if (takesValue && !hasValue) {
            if (i + 1 >= arguments.size()) {
                result.error = "option " + std::string(name) + " needs a value";
                return result;
            }
            value = arguments[++i];
        } else if (!takesValue && hasValue) {
            result.error = "option " + std::string(name) + " takes no value";
            return result;
        }

        if (name == "-h" || name == "--help") {
            options.help = true;
        } else if (name == "-q" || name == "--quiet") {
            options.quiet = true;
        } else if (name == "-o" || name == "--output") {
            if (value.empty()) {
                result.error = "option " + std::string(name) + " needs a file name";
                return result;
            }
            options.output = value;
            outputOption = true;
        } else if (name == "-b" || name == "--block") {
            if (!parseBlockSize(value, options.blockSize)) {
                result.error = "block size must be a whole number from 1 to " +
                               std::to_string(RenderOptions::maxBlockSize) + ", not '" + std::string(value) +
                               "'";
                return result;
            }
        } else if (name == "--midi") {
            if (value.empty()) {
                result.error = "option --midi needs a file name";
                return result;
            }
            options.midiFile = value;
        } else if (name == "--tempo") {
            if (!parseTempo(value, options.tempo)) {
                result.error = "tempo must be a number of beats per minute from 1 to 1000, not '" +
                               std::string(value) + "'";
                return result;
            }
            options.tempoGiven = true;
        } else if (name == "--sidechain") {
            if (value.empty()) {
                result.error = "option --sidechain needs a file name";
                return result;
            }
            options.sideChain = value;
        } else if (name == "--set") {
            if (value.find('=') == std::string_view::npos) {
                result.error = "option --set needs NAME=VALUE, not '" + std::string(value) + "'";
                return result;
            }
            options.settings.emplace_back(value);
        } else if (name == "--preset" || name == "--save-preset") {
            if (value.empty()) {
                result.error = "option " + std::string(name) + " needs a file name";
                return result;
            }
            (name == "--preset" ? options.preset : options.savePreset) = value;
        } else if (name == "--list-parameters") {
            options.listParameters = true;
        } else if (name == "--list-presets") {
            options.listPresets = true;
        } else {
            result.error = "unknown option '" + std::string(arg) + "'";
            return result;
        }
    }

    if (positional.size() > 2) {
        result.error = "too many file names (at most INPUT and OUTPUT)";
        return result;
    }
    if (positional.size() == 2 && outputOption) {
        result.error = "the output is named twice (OUTPUT and -o)";
        return result;
    }
    if (!positional.empty())
        options.input = positional[0];
    if (positional.size() == 2)
        options.output = positional[1];
    options.outputGiven = outputOption || positional.size() == 2;
    return result;
}

std::string renderUsage()
{
    return "Usage: ostrand-render [OPTIONS] [INPUT] [OUTPUT]\n"
           "\n"
           "Runs an audio file through the Ostrand filter and writes the result as a\n"
           "32-bit float WAV file with the input's sample rate and channel count,\n"
           "as long as the input and in step with it (the few samples by which the\n"
           "saturating characteristics delay the sound are taken back out).\n"
           "Without INPUT it renders a built-in drum-and-bass demo pattern (stereo,\n"
           "48 kHz).\n"
           "\n"
           "  INPUT              a mono or stereo file in any format libsndfile reads\n"
           "  OUTPUT             the file to write (default: out.wav)\n"
           "  -o, --output FILE  the file to write, also when there is no INPUT\n"
           "  -b, --block N      samples per processing call, 1 to 1048576 (default 512)\n"
           "  --midi FILE        play a Standard MIDI File (format 0 or 1) into the plug-in:\n"
           "                     every channel message of every track arrives at its own\n"
           "                     sample; system exclusive and meta events are not passed\n"
           "                     on; events after the end of the audio are ignored; a\n"
           "                     program change loads preset bank * 128 + program of\n"
           "                     --list-presets at the end of its block\n"
           "  --tempo BPM        the host tempo, 1 to 1000 (default 120): what the plug-in\n"
           "                     is told, and the pace of a MIDI file without tempo\n"
           "                     changes; the song position starts at 0 with the first\n"
           "                     sample. Ignored when the MIDI file has tempo changes:\n"
           "                     its tempo map sets both the timing and the tempo then\n"
           "  --sidechain FILE   the side-chain input (mono or stereo, the input's sample\n"
           "                     rate); silence after its end, the rest of a longer file\n"
           "                     unused. Without it the input itself is the side chain\n"
           "  --set NAME=VALUE   set a parameter before processing; repeatable, applied in\n"
           "                     order, in force from the first sample. NAME is exact\n"
           "                     (see --list-parameters); VALUE is an option as shown\n"
           "                     ('Filter 1 Response=HP'), a plain value in the\n"
           "                     parameter's range, or a number with the unit shown\n"
           "                     ('Filter 1 Freq=1000 Hz', 'Input Gain=6 dB'); kHz\n"
           "                     serves for Hz, s and ms for each other. An option whose\n"
           "                     text is a number is read as that option ('XLFO 1 Sync\n"
           "                     Mode=1' is the option \"1\", one bar); a number with a\n"
           "                     decimal point is a position ('XLFO 1 Sync Mode=1.0' is\n"
           "                     position 1, \"16\")\n"
           "  --preset FILE      load a full preset (.mvp, of any version) before the\n"
           "                     --set options; a name without a folder that is no file\n"
           "                     here is looked up among the presets (see --list-presets)\n"
           "  --save-preset FILE write the settings, after --preset and --set, as a full\n"
           "                     preset; without INPUT and OUTPUT nothing is rendered\n"
           "  --list-parameters  print every parameter (index, name, minimum, maximum,\n"
           "                     default, current value), tab-separated, after --preset\n"
           "                     and the --set options, and render nothing\n"
           "  --list-presets     print every preset in the preset folders, factory presets\n"
           "                     included, in bank/program order: the numbered name, its\n"
           "                     folder and its file, tab-separated; render nothing\n"
           "  -q, --quiet        print nothing but errors\n"
           "  -h, --help         show this text\n"
           "\n"
           "Exit status: 0 on success, 2 when the arguments are wrong, a --set names no\n"
           "parameter or gives an unusable value, the preset, the input, the side chain\n"
           "or the MIDI file cannot be read or the output cannot be written (nothing is\n"
           "written then).\n";
}

std::string userManualNote(const std::string& manualPath)
{
    if (manualPath.empty())
        return "\nThe user manual comes with the plug-in, in ostrand.lv2/manual/index.html: build\n"
               "the plug-in (./dev build), or install it (./dev install), and ask again.\n";
    return "\nThe user manual, for the plug-in and this program:\n  " + manualPath + "\n";
}
