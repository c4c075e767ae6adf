#include "tools/render/nearest.hpp"

#include <algorithm>

namespace render {
namespace {

// Optimal string alignment distance.
std::size_t edits(const std::string& a, const std::string& b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) {
    d[i][0] = i;
  }
  for (std::size_t j = 0; j <= b.size(); ++j) {
    d[0][j] = j;
  }
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + change});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

}  // namespace

std::string nearest(const std::string& word, const std::vector<std::string>& candidates) {
  const std::size_t allowed = std::max<std::size_t>(1, (word.size() + 1) / 3);
  std::string best;
  std::size_t best_edits = allowed + 1;
  for (const std::string& candidate : candidates) {
    const std::size_t n = edits(word, candidate);
    if (n < best_edits) {
      best = candidate;
      best_edits = n;
    }
  }
  return best;
}

std::string did_you_mean(const std::string& word, const std::vector<std::string>& candidates) {
  const std::string found = nearest(word, candidates);
  return found.empty() ? "" : "; did you mean " + found + "?";
}

}  // namespace render
