#include "corelib/WildcardMatch.h"

namespace VemoraCorelib {

namespace {

std::string collapseStars(const std::string& pattern) {
  std::string out;
  out.reserve(pattern.size());
  for (char c : pattern) {
    if (c == '*' && !out.empty() && out.back() == '*') continue;
    out += c;
  }
  return out;
}

}  // namespace

// Only the latest '*' is a restart point: on a mismatch it swallows one
// more character and matching resumes after it.
bool WildcardMatch(const std::string& text, const std::string& pattern, std::size_t position,
                   std::size_t length) {
  if (position >= text.size()) return pattern.empty() || pattern == "*";
  if (length == 0) return false;
  const std::string p = collapseStars(pattern);
  if (p.empty()) return false;
  if (p == "*" || p == "?*") return true;

  std::size_t t = position;
  std::size_t pi = 0;
  bool haveRestart = false;
  std::size_t restartPattern = 0;
  std::size_t restartText = 0;
  auto retry = [&]() {
    if (!haveRestart) return false;
    pi = restartPattern;
    t = restartText;
    ++restartText;
    return true;
  };
  while (true) {
    if (pi == p.size()) {
      if (t == text.size() || p.back() == '*') return true;
      if (!retry()) return false;
      continue;
    }
    if (t == text.size()) return p.size() - pi == 1 && p[pi] == '*';
    const char pc = p[pi];
    if (pc == '*') {
      if (pi + 1 == p.size()) return true;
      haveRestart = true;
      restartPattern = pi + 1;
      restartText = t + 1;
      ++pi;
      continue;
    }
    if (pc == '?' || pc == text[t]) {
      ++pi;
      ++t;
      continue;
    }
    if (!retry()) return false;
  }
}

}  // namespace VemoraCorelib
