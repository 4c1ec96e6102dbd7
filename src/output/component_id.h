// The sACN component identifier (CID): a UUID a source makes once and keeps,
// so that receivers know a restarted player as the same source.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace lumora::output {

using TComponentId = std::array<std::uint8_t, 16>;

// A random (version 4) UUID.
TComponentId NewComponentId();

// "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx" in lower case, for user settings.
std::string FormatComponentId(const TComponentId& id);
// The same form read back, either case; nullopt for anything else.
std::optional<TComponentId> ParseComponentId(const std::string& text);

}  // namespace lumora::output
