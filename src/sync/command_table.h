// The commands a remote control may name, with their arguments' names,
// kinds and ranges: what the OSC mapping needs of the command bus, which
// supplies the table. TCommandList is a plain table for tools and tests.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lumora::sync {

enum class TArgumentKind {
  Integer,
  Number,
  // A percentage: a whole number is taken as percent, a fraction 0–1 (as
  // faders send) is scaled to the nearest whole percent.
  Percent,
  Text,
  Boolean,
  // A list or an object (a schedule's entries): JSON text in a string.
  Json,
};

struct TArgumentSpec {
  std::string Name;
  TArgumentKind Kind = TArgumentKind::Text;
  // The range a number must fall in (after scaling a percentage).
  double Min = 0;
  double Max = 0;
};

struct TCommandSpec {
  std::string Name;
  std::vector<TArgumentSpec> Arguments;
};

class ICommandTable {
 public:
  virtual ~ICommandTable() = default;
  // The command of that name, or nullptr.
  virtual const TCommandSpec* FindCommand(std::string_view name) const = 0;
};

class TCommandList : public ICommandTable {
 public:
  explicit TCommandList(std::vector<TCommandSpec> commands) : fCommands(std::move(commands)) {}
  const TCommandSpec* FindCommand(std::string_view name) const override {
    for (const TCommandSpec& c : fCommands) {
      if (c.Name == name) return &c;
    }
    return nullptr;
  }

 private:
  std::vector<TCommandSpec> fCommands;
};

}  // namespace lumora::sync
