// TinyXML's header, included through here only. GCC 12 reports a false
// -Wrestrict on the std::string assignment inlined from its inline members
// (TiXmlPrinter::SetIndent) in optimised builds with sanitizers; the warning
// is silenced for this header alone.
#pragma once

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
#include <tinyxml.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
