#include <gtest/gtest.h>

#include "DcmlOutline.h"
#include "nodegraft/DcmlEditor.h"

namespace {

using Vemora::DcmlEditor;

DcmlEditor::Result edit(const std::string& action, const std::string& source,
                        const std::string& destination, const std::string& sourcePath,
                        const std::string& destinationPath, bool useEntities = false) {
  DcmlEditor::Request request;
  request.action = action;
  request.sourceText = source;
  request.destinationText = destination;
  request.sourcePath = sourcePath;
  request.destinationPath = destinationPath;
  request.useEntities = useEntities;
  return DcmlEditor::apply(request);
}

struct EditCase {
  const char* action;
  const char* source;       // outline
  const char* destination;  // outline
  const char* destPath;
  const char* expected;  // outline of the printed document, or the error
};

TEST(DcmlEditorTest, EditsProduceTheseDocuments) {
  const EditCase cases[] = {
      {"append", "N", "A[B]", "A", "A[B,N]"},
      {"prepend", "N", "A[B]", "A", "A[N,B]"},
      {"append", "N[M]", "A[N,B]", "A", "A[B,N[M]]"},  // replaces the same name
      {"prepend", "N[M]", "A[B,N]", "A", "A[N[M],B]"},
      {"append", "N", "A[],D", "A", "A[N],D"},
      {"append", "N", "A[B[C[K[]]]]", "A.*.K", "A[B[C[K[N]]]]"},
      {"remove", "", "A[B,K]", "A.B", "A[K]"},
      {"remove", "", "A[B],D", "A", "D"},
      {"remove", "", "A[B[C[K]]]", "*.C", "A[B[]]"},
      {"unlink", "", "A[B[K]]", "A.B", "A[K]"},
      {"link-after", "N[]", "A[B[K]]", "A.B", "A[B[N[K]]]"},
      {"link-before", "N[]", "A[B[K]]", "A.B", "A[N[B[K]]]"},
      {"link-after", "N[]", "A[B]", "A.B", "A[B[N[]]]"},  // B gets a SubObjects
      {"unlink", "", "A[B]", "A.B", "A[]"},               // no SubObjects: B goes
      {"unlink", "", "A,D", "D", "A"},
      {"unlink", "", "A[B[K,L]],D", "A.B", "A[K,L],D"},  // all children take its place
      // Found after passing siblings: the parent is still the one edited.
      {"unlink", "", "A[B,C[K]]", "A.C", "A[B,K]"},
      {"link-before", "N[]", "A[B[X],C[K]]", "A.C", "A[B[X],N[C[K]]]"},
      {"link-before", "N[]", "A[B[X],E,C[K]]", "A.C", "A[B[X],E,N[C[K]]]"},
      {"link-after", "N[]", "A[B[K1,K2[]]]", "A.B", "A[B[N[K1,K2[]]]]"},
      {"link-before", "N[]", "P[A[B[K]]]", "P.A.B", "P[A[N[B[K]]]]"},
      {"remove", "", "A[B,C[K]]", "A.C", "A[B]"},  // sibling search is fine here
  };
  for (const EditCase& k : cases) {
    const std::string source = *k.source ? dcmltest::dcml(k.source) : "";
    const DcmlEditor::Result r =
        edit(k.action, source, dcmltest::dcml(k.destination), "", k.destPath);
    EXPECT_EQ(r.exitCode, 0) << k.action << " " << k.destination << ": " << r.error;
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(dcmltest::outline(r.output), k.expected) << k.action << " " << k.destination;
    EXPECT_EQ(r.output.back(), '\n');
  }
}

TEST(DcmlEditorTest, EditsWithoutAPlaceReportAndPrintNothing) {
  const char* const kCannot = "Cannot apply action.\n";
  const EditCase cases[] = {
      {"append", "N", "A,D", "D", kCannot},  // D has no SubObjects
      {"prepend", "N", "A,D", "D", kCannot},
      {"link-after", "N[]", "A[B[]]", "A.B", kCannot},  // nothing to move
      {"link-after", "N", "A[B[K]]", "A.B", kCannot},   // N has no SubObjects
      {"link-before", "N[]", "A[B]", "A", kCannot},     // parent is the root
      {"link-before", "N", "A[B[K]]", "A.B", kCannot},
      {"unlink", "", "A[B[]]", "A.B", kCannot},             // no child to lift
      {"unlink", "", "A[B]", "A", kCannot},                 // parent is the root
      {"link-before", "N", "P[D[K],E[]]", "P.D", kCannot},  // N cannot hold D
      {"exists", "", "A[B]", "A.Q", "Destination path not found.\n"},
      {"remove", "", "A[B]", "Q", "Destination path not found.\n"},
      {"remove", "", "", "", "Destination path not found.\n"},  // empty DCML
      {"exists", "", "", "", "Destination path not found.\n"},
      {"frob", "N", "A[B]", "A", "Unknown action 'frob'\n"},
      {"", "N", "A[B]", "A", "Unknown action ''\n"},
  };
  for (const EditCase& k : cases) {
    const std::string source = *k.source ? dcmltest::dcml(k.source) : "";
    const DcmlEditor::Result r =
        edit(k.action, source, dcmltest::dcml(k.destination), "", k.destPath);
    EXPECT_EQ(r.exitCode, 2) << k.action << " " << k.destination;
    EXPECT_EQ(r.output, "") << k.action << " " << k.destination;
    EXPECT_EQ(r.error, k.expected) << k.action << " " << k.destination;
  }
}

TEST(DcmlEditorTest, ExistsPrintsOnlyTheWord) {
  const DcmlEditor::Result r = edit("exists", "", dcmltest::dcml("A[B]"), "", "A.B");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.output, "EXISTS\n");
  EXPECT_EQ(r.error, "");
}

TEST(DcmlEditorTest, DocumentsThatAreNotDcml) {
  const std::string good = dcmltest::dcml("A[B]");
  struct Case {
    const char* action;
    std::string source;
    std::string destination;
    const char* sourcePath;
    const char* error;
  } cases[] = {
      {"append", "", good, "", "Source file should be DCML.\n"},
      {"append", "<Other/>", good, "", "Source file should be DCML.\n"},
      {"append", "<DCML><Object><Name>N</Name>", good, "", "Source file should be DCML.\n"},
      {"append", good, good, "Q", "Source path not found.\n"},
      {"append", "<DCML/>", good, "", "Source path not found.\n"},  // no object at all
      {"append", good, "", "A", "Destination file should be DCML.\n"},
      {"remove", "", "<DCML><Object><Name>A</Name></Object>", "",
       "Destination file should be DCML.\n"},
      {"exists", "", "<DCML></DCML><x>", "", "Destination file should be DCML.\n"},
      {"unlink", "", "<NotDcml/>", "", "Destination file should be DCML.\n"},
      // The source is checked first.
      {"prepend", "<bad", "<bad", "", "Source file should be DCML.\n"},
  };
  for (const Case& k : cases) {
    const DcmlEditor::Result r = edit(k.action, k.source, k.destination, k.sourcePath, "A");
    EXPECT_EQ(r.exitCode, 2) << k.action << " " << k.source << " | " << k.destination;
    EXPECT_EQ(r.output, "");
    EXPECT_EQ(r.error, k.error) << k.action << " " << k.source << " | " << k.destination;
  }
}

TEST(DcmlEditorTest, SourcePathPicksTheObject) {
  const DcmlEditor::Result r =
      edit("append", dcmltest::dcml("X[Y[N]]"), dcmltest::dcml("A[B]"), "X.*.N", "A");
  EXPECT_EQ(dcmltest::outline(r.output), "A[B,N]");
}

TEST(DcmlEditorTest, PrintsTheWholeDocumentWithTabs) {
  const std::string destination =
      "<?xml version=\"1.0\" ?>\n<!-- kept -->\n<DCML>\n  <Object><Name>A</Name>"
      "<SubObjects></SubObjects></Object>\n</DCML>\n";
  const DcmlEditor::Result r =
      edit("append", "<DCML><Object><Name>N</Name></Object></DCML>", destination, "", "A");
  EXPECT_EQ(r.output,
            "<?xml version=\"1.0\" ?>\n<!-- kept -->\n<DCML>\n\t<Object>\n\t\t<Name>A</Name>\n"
            "\t\t<SubObjects>\n\t\t\t<Object>\n\t\t\t\t<Name>N</Name>\n\t\t\t</Object>\n"
            "\t\t</SubObjects>\n\t</Object>\n</DCML>\n");
}

TEST(DcmlEditorTest, QuotesAreWrittenPlainUnlessEntitiesAreAsked) {
  const std::string source = "<DCML><Object><Name>say \"hi\" it&apos;s</Name></Object></DCML>";
  const std::string destination = dcmltest::dcml("A[]");
  const DcmlEditor::Result plain = edit("append", source, destination, "", "A");
  EXPECT_NE(plain.output.find("<Name>say \"hi\" it's</Name>"), std::string::npos) << plain.output;
  const DcmlEditor::Result entities = edit("append", source, destination, "", "A", true);
  EXPECT_NE(entities.output.find("<Name>say &quot;hi&quot; it&apos;s</Name>"), std::string::npos)
      << entities.output;
  // The copy is found by its name, with the quotes, when it is appended again.
  const DcmlEditor::Result again = edit("append", source, entities.output, "", "A");
  EXPECT_EQ(dcmltest::outline(again.output), "A[say \"hi\" it's]");
}

}  // namespace

namespace {

TEST(DcmlEditorQuotesTest, AttributeValuesStayWellFormed) {
  const std::string source =
      "<DCML><Object><Name kind=\"a&quot;b&apos;c\" other=\"it&apos;s\">N</Name>"
      "<Note>\"x\" 'y'</Note></Object></DCML>";
  DcmlEditor::Request request;
  request.action = "append";
  request.sourceText = source;
  request.destinationText = dcmltest::dcml("A[]");
  request.destinationPath = "A";
  const DcmlEditor::Result r = DcmlEditor::apply(request);
  ASSERT_EQ(r.exitCode, 0);
  // Only the quote that delimits the value keeps its entity.
  EXPECT_NE(r.output.find("kind='a\"b&apos;c'"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("other=\"it's\""), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("<Note>\"x\" 'y'</Note>"), std::string::npos) << r.output;
  TiXmlDocument reparsed;
  reparsed.Parse(r.output.c_str());
  ASSERT_FALSE(reparsed.Error()) << r.output;
  const TiXmlElement* name = reparsed.FirstChildElement("DCML")
                                 ->FirstChildElement("Object")
                                 ->FirstChildElement("SubObjects")
                                 ->FirstChildElement("Object")
                                 ->FirstChildElement("Name");
  ASSERT_NE(name, nullptr);
  EXPECT_STREQ(name->Attribute("kind"), "a\"b'c");
  EXPECT_STREQ(name->Attribute("other"), "it's");
}

}  // namespace

namespace {

// Markup other than start tags keeps its text; only character data and
// attribute values get the plain quotes.
TEST(DcmlEditorQuotesTest, MarkupKeepsItsText) {
  DcmlEditor::Request request;
  request.action = "remove";
  request.destinationText =
      "<!-- <b x=' --><?note &quot;?><DCML><Object><Name>A</Name></Object>"
      "<Object><Name k=\"&quot;&apos;\">B&quot;</Name><D><![CDATA[&apos;]]></D></Object></DCML>";
  request.destinationPath = "A";
  const DcmlEditor::Result r = DcmlEditor::apply(request);
  ASSERT_EQ(r.exitCode, 0) << r.error;
  EXPECT_EQ(r.output,
            "<!-- <b x=' -->\n<?note &quot;?>\n<DCML>\n\t<Object>\n"
            "\t\t<Name k='\"&apos;'>B\"</Name>\n\t\t<D>\n\t\t\t<![CDATA[&apos;]]>\n\t\t</D>\n"
            "\t</Object>\n</DCML>\n");
}

TEST(DcmlEditorTest, AWriterThatFailsEndsTheOutput) {
  DcmlEditor::Request request;
  request.action = "remove";
  request.destinationText = dcmltest::dcml("A[B,K]");
  request.destinationPath = "A.B";
  size_t chunks = 0;
  const DcmlEditor::Result r = DcmlEditor::apply(request, [&chunks](std::string_view) {
    ++chunks;
    return false;
  });
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.error, "Cannot write output.\n");
  EXPECT_EQ(chunks, 1u);
}

}  // namespace
