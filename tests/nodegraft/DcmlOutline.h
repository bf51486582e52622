// Test helper: DCML documents written and read as short outlines, so tables
// of cases stay readable. "A[B[K]],D" is the top-level objects A and D, A
// holding B, B holding K; "A[]" is an object with an empty SubObjects.
#pragma once

#include <string>

#include "nodegraft/TinyXml.h"

namespace dcmltest {

// The DCML document for an outline.
std::string dcml(const std::string& outline);
// The outline of an XML text (of its DCML element); "!" when it has none.
std::string outline(const std::string& xmlText);
// The outline of the objects under `parent` (a DCML or SubObjects element).
std::string outlineOf(const TiXmlElement* parent);

}  // namespace dcmltest
