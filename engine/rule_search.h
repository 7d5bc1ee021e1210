#pragma once

#include "engine/patch_rules.h"

#include <array>
#include <string>
#include <string_view>

// The rules of a group found in one pass over the text instead of one pass each, and replaced
// with one copy. Gives exactly what the rules applied one after another (applyRuleInPlace)
// give; where it cannot be sure of that, it applies them one after another.
namespace engine {

GroupResult<3> applyGroupInOnePass(std::string text, const std::array<PatchRule, 3>& group);
GroupResult<2> applyGroupInOnePass(std::string text, const std::array<PatchRule, 2>& group);

// Whether any rule of the group, applied alone, finds something to replace in the text.
bool groupFindsAny(std::string_view text, const std::array<PatchRule, 3>& group);

} // namespace engine
