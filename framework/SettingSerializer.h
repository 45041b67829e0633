#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One routine both reads and writes named settings: it passes every value
// through a serializer and assigns the result back. A writing serializer
// stores the value and returns it; a reading one returns what is stored, or
// the default when nothing usable is stored. So loading and saving are the
// same call with a different serializer.
//
// Implementations only need binary and text access; the bool, int and double
// forms fall back to text by default, and stores with a native integer type
// override serializeInt (which makes serializeBool follow it).
class SettingSerializer {
public:
    virtual ~SettingSerializer() = default;

    virtual bool isWriting() const = 0;

    // Writing stores the bytes; reading replaces them with the stored bytes,
    // and leaves them alone when nothing usable is stored.
    virtual void serializeBinary(const std::string& name, std::vector<std::uint8_t>& data) = 0;

    // Goes through serializeInt as 0 or 1; any stored number but 0 is true.
    virtual bool serializeBool(const std::string& name, bool value, bool defaultValue);

    // Stored as text with up to 15 significant digits ("%.15lg"), infinities as
    // "INF" and "-INF". A stored text that is not a number from its first to
    // its last character gives the default.
    virtual double serializeDouble(const std::string& name, double value, double defaultValue);

    // Stored as decimal text; a stored text that does not start with a
    // decimal int32 gives the default.
    virtual std::int32_t serializeInt(const std::string& name, std::int32_t value, std::int32_t defaultValue);

    virtual std::string serializeString(const std::string& name, const std::string& value,
                                        const std::string& defaultValue) = 0;
};

// The text conversions behind the base implementations, shared with anything
// else that has to store numbers as text in the same way.
namespace settingtext {

std::string formatInt(std::int32_t value);
// Like scanf's "%d": leading blanks, an optional sign and at least one digit;
// whatever follows the number is ignored. False when there is no number or
// it does not fit an int32.
bool parseInt(const std::string& text, std::int32_t& result);

// "%.15lg" in the C locale whatever the process locale, "INF"/"-INF" for the
// infinities.
std::string formatDouble(double value);
// The whole text must be one number (leading blanks allowed, "INF", "nan"
// accepted in any case); numbers beyond the double range become infinities.
bool parseDouble(const std::string& text, double& result);

} // namespace settingtext
