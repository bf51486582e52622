#include "relayhub/TargetMapping.h"

#include "common/StringOps.h"

namespace Vemora {

namespace {

bool isWildcard(char c) {
  return c == '$' || c == '*' || c == '?';
}
bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

std::string reference(const std::string& digits) {
  std::string part(1, '$');
  part.append(digits);
  return part;
}

}  // namespace

bool TargetMapping::set(const std::string& left, const std::string& right) {
  pattern.clear();
  capturePositions.clear();
  parts.clear();
  setPattern(left);
  setParts(right);
  return !parts.empty();
}

// The matcher gives one captured text per run of wildcards, so a "$" is
// counted by the run it stands in: "a*$b" and "?$" then refer to the text
// that run really captured rather than to a neighbouring one.
void TargetMapping::setPattern(const std::string& left) {
  int32_t run = -1;
  bool inRun = false;
  for (char c : left) {
    if (!isWildcard(c)) {
      inRun = false;
      pattern += c;
      continue;
    }
    if (!inRun) ++run;
    inRun = true;
    if (c == '$') capturePositions.push_back(run);
    pattern += c == '$' ? '*' : c;
  }
}

void TargetMapping::setParts(const std::string& right) {
  std::string current;
  bool isReference = false;
  auto add = [&] {
    if (!current.empty()) parts.push_back(isReference ? reference(current) : current);
  };
  for (char c : right) {
    if (c == '$') {
      add();
      current.clear();
      isReference = true;
    } else if (isReference && !isDigit(c)) {
      // "$" before anything but a digit refers to the first capture.
      parts.push_back(reference(current.empty() ? std::string(1, '1') : current));
      current = std::string(1, c);
      isReference = false;
    } else {
      current += c;
    }
  }
  add();  // a final bare "$" adds nothing
}

std::string TargetMapping::captured(const std::string& reference,
                                    const std::vector<std::string>& texts) const {
  // toUInt saturates, so a long run of digits is simply out of range; "$0"
  // names no capture.
  const uint32_t n = StringOps::toUInt(reference.substr(1));
  if (n == 0 || n > capturePositions.size()) return "";
  const int32_t position = capturePositions[n - 1];
  if (position < 0 || static_cast<size_t>(position) >= texts.size()) return "";
  return texts[static_cast<size_t>(position)];
}

std::string TargetMapping::apply(const std::string& name) const {
  std::vector<std::string> texts;
  if (!StringOps::wildcardMatchLower(pattern, name, texts)) return "";
  std::string result;
  for (const std::string& part : parts) {
    result += part[0] == '$' ? captured(part, texts) : part;
  }
  return result;
}

}  // namespace Vemora
