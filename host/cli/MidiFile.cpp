#include "host/cli/MidiFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

// Thrown inside the parser only; parseMidiFile turns it into the error text.
struct Malformed {
    std::string reason;
};

std::string hexByte(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value & 0xFFu);
    return text;
}

// A chunk's four-character type as readable text.
std::string chunkName(std::span<const std::uint8_t> id)
{
    std::string name = "'";
    for (std::uint8_t c : id)
        name += c >= 0x20 && c < 0x7F ? std::string(1, static_cast<char>(c)) : "\\x" + hexByte(c).substr(2);
    return name + "'";
}

// Reads one chunk of the file, never past its end. Offsets in error texts
// are offsets in the whole file.
class Cursor {
public:
    Cursor(std::span<const std::uint8_t> data, std::size_t fileOffset, std::string chunkName)
        : bytes(data), base(fileOffset), name(std::move(chunkName))
    {
    }

    bool atEnd() const { return position >= bytes.size(); }
    std::size_t left() const { return bytes.size() - position; }
    std::size_t offset() const { return base + position; }

    std::uint8_t peek() const { return bytes[position]; }
    std::uint8_t byte(const char* what)
    {
        if (atEnd())
            fail(name + " ends inside " + what);
        return bytes[position++];
    }
    void skip(std::size_t count, const char* what)
    {
        if (count > left())
            fail(name + " has " + what + " of " + std::to_string(count) + " bytes, running past its end (" +
                 std::to_string(left()) + " left),");
        position += count;
    }
    std::span<const std::uint8_t> take(std::size_t count, const char* what)
    {
        const std::size_t start = position;
        skip(count, what);
        return bytes.subspan(start, count);
    }

    // A variable-length quantity: seven bits a byte, most significant first,
    // at most four bytes (so at most 0x0FFFFFFF).
    std::uint32_t quantity(const char* what)
    {
        const std::size_t start = offset();
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const std::uint8_t b = byte(what);
            value = (value << 7) | (b & 0x7Fu);
            if (!(b & 0x80))
                return value;
        }
        throw Malformed{name + " has " + what + " longer than four bytes at byte " + std::to_string(start)};
    }

    [[noreturn]] void fail(const std::string& reason) const
    {
        throw Malformed{reason + " at byte " + std::to_string(offset())};
    }

private:
    std::span<const std::uint8_t> bytes;
    std::size_t base;
    std::string name;
    std::size_t position = 0;
};

std::uint32_t bigEndian(std::span<const std::uint8_t> b)
{
    std::uint32_t value = 0;
    for (std::uint8_t x : b)
        value = (value << 8) | x;
    return value;
}

int dataBytes(std::uint8_t status)
{
    const int kind = status & 0xF0;
    return kind == 0xC0 || kind == 0xD0 ? 1 : 2;
}

MidiTimeDivision readDivision(std::uint32_t word)
{
    MidiTimeDivision division;
    if (word & 0x8000) {
        // The high byte is the negative frame rate, the low byte the ticks
        // per frame.
        const int rate = 256 - static_cast<int>(word >> 8);
        const int ticks = static_cast<int>(word & 0xFF);
        if (rate != 24 && rate != 25 && rate != 29 && rate != 30)
            throw Malformed{"the header gives an unknown SMPTE frame rate (" + hexByte(word >> 8) + ")"};
        if (ticks == 0)
            throw Malformed{"the header gives 0 ticks per SMPTE frame"};
        division.framesPerSecond = rate;
        division.ticksPerFrame = ticks;
    } else {
        if (word == 0)
            throw Malformed{"the header gives 0 ticks per quarter note"};
        division.ticksPerQuarter = static_cast<int>(word);
    }
    return division;
}

// One track chunk's events, appended to the file's lists in file order.
void readTrack(std::span<const std::uint8_t> chunk, std::size_t fileOffset, int number, MidiFile& file)
{
    const std::string where = "track " + std::to_string(number);
    Cursor track(chunk, fileOffset, where);
    std::uint64_t tick = 0;
    std::uint8_t running = 0; // no running status at the start of a track
    while (!track.atEnd()) {
        tick += track.quantity("a delta time");
        if (track.atEnd())
            track.fail(where + " ends after a delta time, without its event,");
        const std::size_t eventStart = track.offset();
        const std::uint8_t lead = track.peek();

        if (lead == 0xFF) {
            track.byte("a meta event");
            const std::uint8_t type = track.byte("a meta event");
            const std::uint32_t length = track.quantity("a meta event's length");
            const auto body = track.take(length, "a meta event");
            running = 0;
            if (type == 0x2F)
                return; // end of track; whatever follows in the chunk is not part of it
            if (type == 0x51) {
                if (length != 3)
                    throw Malformed{where + " has a tempo event of " + std::to_string(length) +
                                    " bytes instead of 3 at byte " + std::to_string(eventStart)};
                const std::uint32_t micros = bigEndian(body);
                if (micros == 0)
                    throw Malformed{where + " sets a tempo of 0 microseconds per quarter note at byte " +
                                    std::to_string(eventStart)};
                file.tempoChanges.push_back({tick, micros});
            }
            continue;
        }
        if (lead == 0xF0 || lead == 0xF7) {
            track.byte("a system exclusive message");
            track.skip(track.quantity("a system exclusive length"), "a system exclusive message");
            running = 0;
            continue;
        }
        if (lead > 0xF0)
            track.fail(where + " holds the status byte " + hexByte(lead) + ", which has no place in a file,");

        std::uint8_t status = running;
        if (lead & 0x80) {
            status = track.byte("a channel message");
            running = status;
        } else if (running == 0) {
            track.fail(where + " has a data byte (" + hexByte(lead) + ") where a status byte belongs");
        }
        std::uint8_t data[2] = {0, 0};
        for (int i = 0; i < dataBytes(status); ++i) {
            data[i] = track.byte("a channel message");
            if (data[i] & 0x80)
                throw Malformed{where + " has the byte " + hexByte(data[i]) +
                                " inside a channel message at byte " + std::to_string(track.offset() - 1)};
        }
        file.events.push_back({tick, status, data[0], data[1]});
    }
}

MidiFile parse(std::span<const std::uint8_t> bytes)
{
    MidiFile file;
    static constexpr std::uint8_t headerId[] = {'M', 'T', 'h', 'd'};
    static constexpr std::uint8_t trackId[] = {'M', 'T', 'r', 'k'};
    if (bytes.size() < 8 || !std::equal(headerId, headerId + 4, bytes.begin()))
        throw Malformed{"it is not a Standard MIDI File (it does not start with 'MThd')"};
    const std::uint32_t headerLength = bigEndian(bytes.subspan(4, 4));
    if (headerLength < 6)
        throw Malformed{"the header chunk is only " + std::to_string(headerLength) + " bytes long"};
    if (headerLength > bytes.size() - 8)
        throw Malformed{"the file ends inside its header chunk"};
    file.format = static_cast<int>(bigEndian(bytes.subspan(8, 2)));
    const int announced = static_cast<int>(bigEndian(bytes.subspan(10, 2)));
    if (file.format == 2)
        throw Malformed{"it is of format 2 (independent sequences); only formats 0 and 1 can be played"};
    if (file.format > 2)
        throw Malformed{"its format " + std::to_string(file.format) + " is unknown"};
    if (announced == 0)
        throw Malformed{"the header announces no tracks"};
    file.division = readDivision(bigEndian(bytes.subspan(12, 2)));

    // Chunks of other types are skipped, as the format asks; chunks after the
    // announced tracks are ignored.
    std::size_t position = 8 + std::size_t{headerLength};
    while (file.trackCount < announced) {
        if (position == bytes.size())
            throw Malformed{"the header announces " + std::to_string(announced) +
                            " tracks but the file holds " + std::to_string(file.trackCount)};
        if (bytes.size() - position < 8)
            throw Malformed{"the file ends inside a chunk header at byte " + std::to_string(position)};
        const auto id = bytes.subspan(position, 4);
        const std::uint32_t length = bigEndian(bytes.subspan(position + 4, 4));
        const std::size_t available = bytes.size() - position - 8;
        const bool isTrack = std::equal(trackId, trackId + 4, id.begin());
        if (length > available) {
            const std::string name =
                isTrack ? "track " + std::to_string(file.trackCount + 1) : "the chunk " + chunkName(id);
            throw Malformed{name + " at byte " + std::to_string(position) + " announces " +
                            std::to_string(length) + " bytes but only " + std::to_string(available) +
                            " follow"};
        }
        if (isTrack) {
            ++file.trackCount;
            readTrack(bytes.subspan(position + 8, length), position + 8, file.trackCount, file);
        }
        position += 8 + std::size_t{length};
    }

    // Tracks were appended one after another: a stable sort by tick merges
    // them and keeps simultaneous events in track order, then file order.
    auto byTick = [](const auto& a, const auto& b) { return a.tick < b.tick; };
    std::stable_sort(file.events.begin(), file.events.end(), byTick);
    std::stable_sort(file.tempoChanges.begin(), file.tempoChanges.end(), byTick);
    return file;
}

} // namespace

MidiFileResult parseMidiFile(std::span<const std::uint8_t> bytes)
{
    MidiFileResult result;
    try {
        result.file = parse(bytes);
    } catch (const Malformed& m) {
        result.error = m.reason;
        result.file = MidiFile{};
    }
    return result;
}

MidiFileResult readMidiFile(const std::string& path)
{
    MidiFileResult result;
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (error) {
        result.error = error.message();
        return result;
    }
    if (!std::filesystem::is_regular_file(status)) {
        result.error = "it is not a regular file";
        return result;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        result.error = std::strerror(errno);
        return result;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size < 0 || !in) {
        result.error = "its size cannot be told";
        return result;
    }
    if (static_cast<std::uint64_t>(size) > maxMidiFileSize) {
        result.error = "it is larger than " + std::to_string(maxMidiFileSize >> 20) + " MiB";
        return result;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) {
        result.error = "reading it failed";
        return result;
    }
    return parseMidiFile(bytes);
}
