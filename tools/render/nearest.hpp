// The known name closest to a misspelt one, for "did you mean" in messages.
#pragma once

#include <string>
#include <vector>

namespace render {

// The candidate fewest edits (a letter added, dropped, changed, or two
// swapped) away from `word`, if close enough to be a slip: at most a third of
// its letters, and one at least. Empty when none is.
std::string nearest(const std::string& word, const std::vector<std::string>& candidates);

// "; did you mean NAME?" for the nearest candidate, else "".
std::string did_you_mean(const std::string& word, const std::vector<std::string>& candidates);

}  // namespace render
