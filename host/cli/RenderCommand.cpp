#include "host/cli/RenderCommand.h"

#include "effect/OstrandDemoSetting.h"
#include "framework/GenericPlugin.h"
#include "framework/ParameterAssignment.h"
#include "framework/ParameterListing.h"
#include "host/cli/AudioFileReader.h"
#include "host/cli/AudioFileWriter.h"
#include "host/cli/DemoSignal.h"
#include "host/cli/MidiEventFeeder.h"
#include "host/cli/MidiFile.h"
#include "host/cli/PresetCommands.h"
#include "host/cli/ProgressBar.h"
#include "host/cli/RenderLoop.h"
#include "host/cli/RenderOptions.h"
#include "host/cli/RenderProcessor.h"
#include "host/cli/posix/Terminal.h"
#include "persistence/PresetLibrary.h"
#include "persistence/SectionPresets.h"
#include "persistence/UserManual.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int usageError = 2;
constexpr int fileError = 2;
constexpr int interruptedStatus = 130;
// Files shorter than this render too quickly for a progress bar to help.
constexpr int progressMinimumSeconds = 20;

int fail(const std::string& message, int status)
{
    std::fprintf(stderr, "ostrand-render: %s\n", message.c_str());
    return status;
}

std::string quoted(const std::string& path)
{
    return "'" + path + "'";
}

// Applies the settings in order; the first one that names no parameter or
// gives an unusable value stops with its reason.
bool applySettings(GenericPlugin& plugin, const std::vector<std::string>& settings, std::string& error)
{
    for (const std::string& s : settings) {
        const ParameterAssignment a = applyParameterAssignment(plugin, s);
        if (!a.ok()) {
            error = "--set " + quoted(s) + ": " + a.error;
            return false;
        }
    }
    return true;
}

// --preset, then the --set options, then --save-preset. False with the
// message when one of them cannot be done.
bool prepare(GenericPlugin& plugin, const RenderOptions& options, std::string& error)
{
    if (!options.preset.empty()) {
        const std::string file = presetFileFor(options.preset);
        if (file.empty()) {
            error = "cannot load preset " + quoted(options.preset) + ": no such file, and no preset of that name";
            return false;
        }
        if (!plugin.loadPreset(file)) {
            error = "cannot load preset " + quoted(file) + ": " + presetLoadFailedMessage;
            return false;
        }
    }
    if (!applySettings(plugin, options.settings, error))
        return false;
    if (!options.savePreset.empty() && !plugin.savePreset(options.savePreset)) {
        error = "cannot write preset " + quoted(options.savePreset);
        return false;
    }
    return true;
}

} // namespace

int runRenderCommand(std::span<const std::string_view> arguments)
{
    const ParsedArguments parsed = parseRenderArguments(arguments);
    if (!parsed.error.empty()) {
        fail(parsed.error, usageError);
        std::fprintf(stderr, "Try 'ostrand-render --help' for more information.\n");
        return usageError;
    }
    const RenderOptions& options = parsed.options;
    if (options.help) {
        std::fputs((renderUsage() + userManualNote(userManualPath())).c_str(), stdout);
        return 0;
    }
    if (options.listPresets) {
        auto plugin = RenderProcessor::createPlugin(2, DemoSignal::defaultSampleRate);
        std::fputs(presetListing(PresetLibrary::shared().presets()).c_str(), stdout);
        return 0;
    }
    const bool saveOnly = !options.savePreset.empty() && options.input.empty() && !options.outputGiven;
    if (options.listParameters || saveOnly) {
        auto plugin = RenderProcessor::createPlugin(2, DemoSignal::defaultSampleRate);
        std::string error;
        if (!prepare(*plugin, options, error))
            return fail(error, usageError);
        if (options.listParameters)
            std::fputs(parameterListing(*plugin).c_str(), stdout);
        else if (!options.quiet)
            std::printf("wrote preset %s\n", options.savePreset.c_str());
        return 0;
    }

    std::unique_ptr<SampleReader> reader;
    if (options.input.empty()) {
        reader = std::make_unique<DemoSignal>();
    } else {
        auto file = std::make_unique<AudioFileReader>();
        if (!file->open(options.input))
            return fail("cannot read " + quoted(options.input) + ": " + file->getError(), fileError);
        reader = std::move(file);
    }
    const int channels = reader->getChannels();
    if (channels > 2) {
        return fail("cannot render " + quoted(options.input) + ": it has " + std::to_string(channels) +
                        " channels; only mono and stereo files are supported",
                    fileError);
    }
    std::error_code ec;
    if (!options.input.empty() && std::filesystem::equivalent(options.input, options.output, ec))
        return fail("cannot write " + quoted(options.output) + ": it is the input file", fileError);

    // The plug-in with its settings: the demo's showcase (for the demo),
    // then the command line's, all in force from the first sample.
    const int sampleRate = reader->getSampleRate();
    std::unique_ptr<GenericPlugin> plugin = RenderProcessor::createPlugin(channels, sampleRate);
    std::string error;
    if (options.input.empty() && !applySettings(*plugin, ostrandDemoSetting(), error))
        return fail("the demo setting does not fit the plug-in: " + error, usageError);
    if (!prepare(*plugin, options, error))
        return fail(error, usageError);
    plugin->applyQueuedChangesAtOnce();

    std::unique_ptr<AudioFileReader> sideChain;
    if (!options.sideChain.empty()) {
        sideChain = std::make_unique<AudioFileReader>();
        if (!sideChain->open(options.sideChain))
            return fail("cannot read side chain " + quoted(options.sideChain) + ": " + sideChain->getError(),
                        fileError);
        if (sideChain->getChannels() > 2)
            return fail("cannot use side chain " + quoted(options.sideChain) + ": it has " +
                            std::to_string(sideChain->getChannels()) +
                            " channels; only mono and stereo files are supported",
                        fileError);
        if (sideChain->getSampleRate() != sampleRate)
            return fail("cannot use side chain " + quoted(options.sideChain) + ": its sample rate is " +
                            std::to_string(sideChain->getSampleRate()) + " Hz, the input's " +
                            std::to_string(sampleRate) + " Hz",
                        fileError);
    }

    // The time line: the MIDI file's, or a steady tempo (the demo's own
    // unless one is given).
    const double tempo = options.input.empty() && !options.tempoGiven ? DemoSignal::tempo : options.tempo;
    MidiEventFeeder feeder{TempoMap(tempo, sampleRate)};
    if (!options.midiFile.empty()) {
        const MidiFileResult midi = readMidiFile(options.midiFile);
        if (!midi.ok())
            return fail("cannot read MIDI file " + quoted(options.midiFile) + ": " + midi.error, fileError);
        TempoMap tempoMap(midi.file.division, midi.file.tempoChanges, tempo, sampleRate);
        if (options.tempoGiven && tempoMap.followsFileTempo() && !options.quiet)
            std::fprintf(stderr, "ostrand-render: %s has tempo changes; --tempo is ignored\n",
                         options.midiFile.c_str());
        auto events = scheduleMidiEvents(midi.file, tempoMap);
        feeder = MidiEventFeeder(std::move(tempoMap), std::move(events));
    }

    catchInterrupts();
    AudioFileWriter writer;
    if (!writer.open(options.output, channels, reader->getSampleRate(), reader->getFrames()))
        return fail("cannot write " + quoted(options.output) + ": " + writer.getError(), fileError);

    RenderProcessor processor(std::move(plugin), channels, std::move(feeder));
    if (sideChain)
        processor.setSideChain(std::move(sideChain));
    const std::int64_t frames = reader->getFrames();
    const bool showProgress = !options.quiet && isTerminal(stderr) &&
                              frames >= std::int64_t{progressMinimumSeconds} * reader->getSampleRate();
    ProgressBar progress(stderr, frames, showProgress);
    const RenderResult result = renderStream(*reader, processor, writer, options.blockSize, progress,
                                             [] { return interruptRequested(); });
    progress.finish();

    switch (result.outcome) {
    case RenderOutcome::ReadFailed:
        writer.discard();
        return fail("cannot read " + quoted(options.input) + ": " + result.error, fileError);
    case RenderOutcome::WriteFailed:
        writer.discard();
        return fail("cannot write " + quoted(options.output) + ": " + result.error, fileError);
    case RenderOutcome::Interrupted:
        writer.discard();
        return fail("interrupted; " + quoted(options.output) + " was not written", interruptedStatus);
    case RenderOutcome::Done:
        break;
    }
    if (!processor.getSideChainError().empty()) {
        writer.discard();
        return fail("cannot read side chain " + quoted(options.sideChain) + ": " +
                        processor.getSideChainError(),
                    fileError);
    }
    if (!writer.commit())
        return fail("cannot write " + quoted(options.output) + ": " + writer.getError(), fileError);

    if (!options.quiet) {
        const double seconds = static_cast<double>(result.frames) / reader->getSampleRate();
        std::printf("wrote %s (%s, %.2f s, %s, %d Hz)\n", options.output.c_str(),
                    options.input.empty() ? "built-in demo" : options.input.c_str(), seconds,
                    channels == 1 ? "mono" : "stereo", reader->getSampleRate());
        const MidiEventFeeder& midi = processor.getFeeder();
        if (!options.midiFile.empty())
            std::printf("played %zu of the %zu MIDI events of %s\n", midi.getFedCount(), midi.getEventCount(),
                        options.midiFile.c_str());
    }
    return 0;
}
