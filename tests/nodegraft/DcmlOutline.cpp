#include "DcmlOutline.h"

#include <cstddef>

namespace dcmltest {

namespace {

// Parses objects from `text` at `pos` up to ']' or the end.
std::string objects(const std::string& text, size_t& pos) {
  std::string xml;
  while (pos < text.size() && text[pos] != ']') {
    if (text[pos] == ',') {
      ++pos;
      continue;
    }
    std::string name;
    while (pos < text.size() && text[pos] != '[' && text[pos] != ',' && text[pos] != ']') {
      name += text[pos++];
    }
    xml += "<Object><Name>" + name + "</Name>";
    if (pos < text.size() && text[pos] == '[') {
      ++pos;
      xml += "<SubObjects>" + objects(text, pos) + "</SubObjects>";
      ++pos;  // the ']'
    }
    xml += "</Object>";
  }
  return xml;
}

}  // namespace

std::string dcml(const std::string& outlineText) {
  size_t pos = 0;
  return "<DCML>" + objects(outlineText, pos) + "</DCML>";
}

std::string outlineOf(const TiXmlElement* parent) {
  std::string out;
  for (const TiXmlElement* o = parent->FirstChildElement(); o != nullptr;
       o = o->NextSiblingElement()) {
    if (!out.empty()) out += ",";
    if (o->ValueStr() != "Object") {
      out += "<" + o->ValueStr() + ">";
      continue;
    }
    const TiXmlElement* name = o->FirstChildElement("Name");
    out += name != nullptr && name->GetText() != nullptr ? name->GetText() : "";
    const TiXmlElement* sub = o->FirstChildElement("SubObjects");
    if (sub != nullptr) out += "[" + outlineOf(sub) + "]";
  }
  return out;
}

std::string outline(const std::string& xmlText) {
  TiXmlDocument doc;
  doc.Parse(xmlText.c_str());
  const TiXmlElement* root = doc.FirstChildElement("DCML");
  if (root == nullptr || doc.Error()) return "!";
  return outlineOf(root);
}

}  // namespace dcmltest
