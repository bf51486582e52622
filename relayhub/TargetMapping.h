// One line of the user's name-mapping file: a glob over agent names whose
// "$" wildcards capture text, and the replacement that builds a standard
// name from literal texts and references "$N" to those captures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Vemora {

class TargetMapping {
 public:
  TargetMapping() = default;
  virtual ~TargetMapping() = default;
  TargetMapping(const TargetMapping&) = default;
  TargetMapping& operator=(const TargetMapping&) = default;

  // Builds the record from the two sides of a line; false when the
  // replacement gives no usable part.
  bool set(const std::string& left, const std::string& right);
  // The standard name for `name`; empty when the pattern does not match or
  // the replacement gives nothing.
  std::string apply(const std::string& name) const;

  // The left side with every "$" turned into "*".
  std::string pattern;
  // For the 1st, 2nd, ... "$": the index of the wildcard run it stands in,
  // which is the index of its text among the matcher's captures.
  std::vector<int32_t> capturePositions;
  // Literal texts, and references written "$" and decimal digits.
  std::vector<std::string> parts;

 private:
  void setPattern(const std::string& left);
  void setParts(const std::string& right);
  std::string captured(const std::string& reference, const std::vector<std::string>& texts) const;
};

}  // namespace Vemora
