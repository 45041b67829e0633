#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Files compiled into the module, looked up by name. A name is compared
// without its extension (everything from the first dot) and without regard
// to ASCII case, so "One.fil", "ONE" and "one" name the same resource.

class EResource : public std::runtime_error {
public:
    EResource() : std::runtime_error("Resource not found") {}
};

// The bytes of a resource, or nothing when there is none of that name. The
// bytes stay valid for the life of the process (for a registered resource:
// until it is registered again or removed).
std::optional<std::span<const std::uint8_t>> findResource(std::string_view name);

// Same, but a missing resource throws EResource.
std::span<const std::uint8_t> loadResource(std::string_view name);

// The form in which names are compared: the part before the first dot, in
// lower case ("One.fil" gives "one").
std::string resourceKey(std::string_view name);

struct EmbeddedResource;

// Adds a table of resources compiled into a part of the program built after
// this layer (the factory content, made by a tool that itself needs the
// layers above): looked up after the module's own table, in the order
// added. Called by static initialisers; the table must live as long as the
// process.
void addResourceTable(std::span<const EmbeddedResource> table);

// Adds a resource at run time, ahead of the compiled-in ones of the same
// name. For tests, which need resources of their own.
void registerResource(std::string_view name, std::vector<std::uint8_t> bytes);
void unregisterResource(std::string_view name);
