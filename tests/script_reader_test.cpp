// The script reader: tags, params, includes, errors and bad input.
#include "common/media/stream.h"
#include "player/script_reader.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <pthread.h>
#include <string>
#include <vector>

using kxtest::TempDir;
using kxtest::writeDataFile;

namespace {

// A compact picture of a tree: name(param=value,...)[child,...].
std::string dump(const cXmlTag* tag)
{
    std::string out = tag->name;
    if (tag->firstParam) {
        out += "(";
        for (const cXmlParam* p : tag->params()) {
            if (p != tag->firstParam) out += ",";
            out += std::string(p->name) + "=" + p->value;
        }
        out += ")";
    }
    if (tag->firstChild) {
        out += "[";
        for (const cXmlTag* c : tag->children()) {
            if (c != tag->firstChild) out += ",";
            out += dump(c);
        }
        out += "]";
    }
    return out;
}

// The children of a root, dumped.
std::string dumpChildren(const cXmlTag& root)
{
    std::string out;
    for (const cXmlTag* c : root.children()) {
        if (!out.empty()) out += ",";
        out += dump(c);
    }
    return out;
}

// One parse of an in-memory text into a fresh root.
struct Parsed {
    std::unique_ptr<cXmlTag> root = std::make_unique<cXmlTag>();
    int result = 0;
    std::string console; // what the reader printed
    std::string error;   // lastError() afterwards
    std::string tree() const { return dumpChildren(*root); }
    cXmlTag* first() const { return root->firstChild; }
};

Parsed parsed(const std::string& text)
{
    Parsed p;
    cMemoryStream source(text.data(), static_cast<int>(text.size()));
    testing::internal::CaptureStdout();
    p.result = parse(p.root.get(), source);
    p.console = testing::internal::GetCapturedStdout();
    p.error = lastError();
    return p;
}

// One loadFile of a data file into a fresh root (files made beforehand).
Parsed loaded(const char* path)
{
    Parsed p;
    testing::internal::CaptureStdout();
    p.result = loadFile(p.root.get(), path);
    p.console = testing::internal::GetCapturedStdout();
    p.error = lastError();
    return p;
}

// Puts a known text in the last-error buffer, so a test can see whether a
// successful parse recorded anything.
void clearError()
{
    cXmlTag root;
    cMemoryStream s("<>", 2);
    parse(&root, s);
    ASSERT_STREQ(lastError(), "XML Error[]\n");
}

// A message the reader records for a failed read.
bool isReaderError(const std::string& error)
{
    return error.rfind("XML Error", 0) == 0 || error.rfind("ERROR: ", 0) == 0 || error.rfind("couldn't find", 0) == 0;
}

} // namespace

// ---- tags ------------------------------------------------------------------

TEST(ScriptTags, SelfClosingAndClosedTagsAreTheSame)
{
    Parsed a = parsed("<a x=\"1\"/>");
    EXPECT_EQ(a.result, 0);
    EXPECT_EQ(a.tree(), "a(x=1)");
    Parsed b = parsed("<a x=\"1\"></a>");
    EXPECT_EQ(b.result, 0);
    EXPECT_EQ(b.tree(), "a(x=1)");
    EXPECT_EQ(b.first()->childCount(), 0);
    EXPECT_EQ(b.first()->parent, b.root.get());
}

TEST(ScriptTags, NestedTagsInDocumentOrder)
{
    Parsed p = parsed("<demo name=\"show\"><camera id=\"c1\"/><event time=\"1\"><a/><b/></event><c/></demo><x/>");
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.tree(), "demo(name=show)[camera(id=c1),event(time=1)[a,b],c],x");
    cXmlTag* demo = p.first();
    EXPECT_STREQ(demo->name, "demo");
    EXPECT_EQ(demo->firstChild->parent, demo);
    EXPECT_EQ(demo->firstChild->next->firstChild->parent, demo->firstChild->next);
}

TEST(ScriptTags, ClosingIsCaseInsensitive)
{
    Parsed p = parsed("<demo></Demo>");
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.tree(), "demo");
    Parsed q = parsed("<DEMO><Camera></CAMERA></demo>");
    EXPECT_EQ(q.result, 0);
    EXPECT_EQ(q.tree(), "DEMO[Camera]"); // names kept as written
}

TEST(ScriptTags, TopLevelEndTagEndsTheDocument)
{
    Parsed p = parsed("<a/></foo><b/><c>");
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.tree(), "a");
    Parsed q = parsed("</demo>");
    EXPECT_EQ(q.result, 0);
    EXPECT_EQ(q.tree(), "");
    Parsed r = parsed("<a></a></a><b/>");
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.tree(), "a");
}

TEST(ScriptTags, TextBetweenTagsIsIgnored)
{
    clearError();
    Parsed p = parsed("\xEF\xBB\xBFintro text\r\n<demo>\n\t some words \t<a/>\r\n more</demo>\n");
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.tree(), "demo[a]");
}

TEST(ScriptTags, TrailingTextEndsTheDocumentSuccessfully)
{
    Parsed p = parsed("<a/><b/> trailing words after the last tag");
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.tree(), "a,b");
    // Recorded, though a successful load does not show it; ten characters.
    EXPECT_EQ(p.error, "XML Error expected < [ trailing ]\n");
}

TEST(ScriptTags, NameIsTheFirstRunOfNameCharacters)
{
    Parsed p = parsed("<key2/>< spaced/><_under/><9lives/><a-b/><x.y/>");
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.tree(), "key2,spaced,under,lives,a,x");
}

TEST(ScriptTags, UnclosedTagsEndWithTheText)
{
    Parsed p = parsed("<demo><a><b/>");
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.tree(), "demo[a[b]]");
}

TEST(ScriptTags, ParseReturnsAfterTheParentsClosingTag)
{
    cXmlTag root;
    cXmlTag* a = root.addChild("a");
    const std::string text = "<b/></A><c/>";
    cMemoryStream source(text.data(), static_cast<int>(text.size()));
    EXPECT_EQ(parse(a, source), 0);
    EXPECT_EQ(dump(a), "a[b]");
    EXPECT_EQ(source.tell(), 8); // just past "</A>"
    EXPECT_EQ(root.childCount(), 1);
}

TEST(ScriptTags, ParseStartsAtTheSourcePositionAndAppends)
{
    cXmlTag root;
    root.addChild("first");
    const std::string text = "<skipped/><kept/>";
    cMemoryStream source(text.data(), static_cast<int>(text.size()));
    source.seek(10, 0);
    EXPECT_EQ(parse(&root, source), 0);
    EXPECT_EQ(dumpChildren(root), "first,kept");
    EXPECT_TRUE(source.eof());
}

TEST(ScriptTags, ParseCanGoOnFromWhereItStopped)
{
    cXmlTag root;
    const std::string text = "<a x=\"1\"/></stop><b y=\"2\"/>";
    cMemoryStream source(text.data(), static_cast<int>(text.size()));
    EXPECT_EQ(parse(&root, source), 0);
    EXPECT_EQ(dumpChildren(root), "a(x=1)");
    EXPECT_FALSE(source.eof());
    EXPECT_EQ(parse(&root, source), 0);
    EXPECT_EQ(dumpChildren(root), "a(x=1),b(y=2)");
    EXPECT_TRUE(source.eof());
}

TEST(ScriptTags, DocumentOutlivesItsSource)
{
    cXmlTag root;
    {
        std::string text = "<demo name=\"kept\"><a v=\"1,2,3\"/></demo>";
        cMemoryStream source(text.data(), static_cast<int>(text.size()));
        ASSERT_EQ(parse(&root, source), 0);
        text.assign(text.size(), 'X');
    }
    EXPECT_EQ(dumpChildren(root), "demo(name=kept)[a(v=1,2,3)]");
    EXPECT_EQ(root.firstChild->firstChild->getVec3("v").z, 3.0f);
}

TEST(ScriptTags, ParsedTreeCanBeExtendedByHand)
{
    Parsed p = parsed("<demo a=\"1\"><x/></demo>");
    ASSERT_EQ(p.result, 0);
    cXmlTag* demo = p.first();
    demo->addChild("y");
    demo->addParam("b", "2");
    EXPECT_EQ(p.tree(), "demo(a=1,b=2)[x,y]");
}

// ---- params ----------------------------------------------------------------

TEST(ScriptParams, ValuesWithSlashLessThanEqualsAndBlanks)
{
    Parsed p = parsed("<a b=\"x/y\" c=\"2\">");
    EXPECT_EQ(p.result, 0);
    ASSERT_NE(p.first(), nullptr);
    EXPECT_EQ(p.first()->paramCount(), 2);
    EXPECT_STREQ(p.first()->getString("b"), "x/y");
    EXPECT_STREQ(p.first()->getString("c"), "2");

    // Not self-closing: the next tag is a child.
    Parsed q = parsed("<a b=\"x/\"><c/></a>");
    EXPECT_EQ(q.tree(), "a(b=x/)[c]");

    Parsed r = parsed("<t lt=\"a<b\" eq=\"k=v\" blanks=\"  two  words \" empty=\"\" tab=\"\t\"/>");
    EXPECT_EQ(r.result, 0);
    cXmlTag* t = r.first();
    EXPECT_STREQ(t->getString("lt"), "a<b");
    EXPECT_STREQ(t->getString("eq"), "k=v");
    EXPECT_STREQ(t->getString("blanks"), "  two  words ");
    EXPECT_STREQ(t->getString("empty"), "");
    EXPECT_STREQ(t->getString("tab"), "\t");
    EXPECT_STREQ(t->name, "t");
}

TEST(ScriptParams, ValuesAreVerbatim)
{
    Parsed p = parsed("<a v=\"&amp; \\n &lt;\" w=\"line\nbreak\"/>");
    EXPECT_EQ(p.result, 0);
    EXPECT_STREQ(p.first()->getString("v"), "&amp; \\n &lt;");
    EXPECT_STREQ(p.first()->getString("w"), "line\nbreak");
}

TEST(ScriptParams, DigitEndsAParamName)
{
    Parsed p = parsed("<a speed2=\"5\"/>");
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.tree(), "a(speed=5)");
    EXPECT_EQ(p.first()->getInt("speed"), 5);
    EXPECT_EQ(p.first()->getString("speed2"), nullptr);
}

TEST(ScriptParams, NameIsTheFirstLetterRunAfterThePreviousValue)
{
    Parsed p = parsed("<a flag x=\"1\">");
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.tree(), "a(flag=1)");
    Parsed q = parsed("<a b=\"1\" loose c=\"2\" tail>");
    EXPECT_EQ(q.tree(), "a(b=1,loose=2)");
}

TEST(ScriptParams, BlanksAroundTheEquals)
{
    Parsed p = parsed("<a b = \"1\"\n\tc=\n\"2\"/>");
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.tree(), "a(b=1,c=2)");
}

TEST(ScriptParams, RepeatedParamsAreAllKept)
{
    Parsed p = parsed("<a b=\"1\" b=\"2\" B=\"3\"/>");
    EXPECT_EQ(p.result, 0);
    EXPECT_STREQ(p.first()->getString("b"), "1");
    std::vector<std::string> seen;
    for (cXmlParam* param : p.first()->params())
        if (strcasecmp(param->name, "b") == 0) seen.push_back(param->value);
    EXPECT_EQ(seen, (std::vector<std::string>{"1", "2", "3"}));
}

TEST(ScriptParams, OnlyDoubleQuotesDelimitValues)
{
    // The value is between the first double quote after "=" and the next.
    Parsed p = parsed("<a b='1' c=\"2\"/>");
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.tree(), "a(b=2)");
}

TEST(ScriptParams, TagsWithoutParams)
{
    Parsed p = parsed("<a x><b =\"1\"/><c 123/></a>");
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.tree(), "a[b,c]");
}

TEST(ScriptParams, ParseParamsDirectly)
{
    cXmlTag root;
    cXmlTag* t = root.addChild("t");
    const char text[] = " a=\"1\" bb=\"two words\" c=\"x/y\"";
    EXPECT_EQ(parseParams(t, text, static_cast<int>(std::strlen(text))), 0);
    EXPECT_EQ(dump(t), "t(a=1,bb=two words,c=x/y)");
    // The text is not changed; the values are copies.
    EXPECT_STREQ(text, " a=\"1\" bb=\"two words\" c=\"x/y\"");

    // The length bounds the reading: only the first param lies inside.
    cXmlTag* u = root.addChild("u");
    EXPECT_EQ(parseParams(u, text, 6), 0);
    EXPECT_EQ(dump(u), "u(a=1)");

    cXmlTag* v = root.addChild("v");
    EXPECT_EQ(parseParams(v, "", 0), 0);
    EXPECT_EQ(parseParams(v, " =\"1\" ", 6), 0);   // no letter: no params
    EXPECT_EQ(parseParams(v, " x />", 5), 0);      // "/" ends the tag
    EXPECT_EQ(parseParams(v, " x>y=\"1\"", 8), 0); // so does ">"
    EXPECT_EQ(v->paramCount(), 0);
}

TEST(ScriptParams, IllegalParamsPrintAndFail)
{
    cXmlTag root;
    cXmlTag* t = root.addChild("t");
    testing::internal::CaptureStdout();
    EXPECT_EQ(parseParams(t, " a\"1\"", 5), -1);
    EXPECT_EQ(parseParams(t, " a<b", 4), -1);
    EXPECT_EQ(parseParams(t, " a=\"open", 8), -1);
    EXPECT_EQ(parseParams(t, " a=1", 4), -1);
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(console, "**** ILLEGAL ****\n**** ILLEGAL ****\n**** ILLEGAL ****\n**** ILLEGAL ****\n");
}

// ---- limits ----------------------------------------------------------------

TEST(ScriptLimits, LongTagNameCutTo63)
{
    const std::string name(100, 'n');
    Parsed p = parsed("<" + name + " v=\"1\"></" + name + ">");
    EXPECT_EQ(p.result, 0);
    ASSERT_NE(p.first(), nullptr);
    EXPECT_EQ(std::string(p.first()->name), name.substr(0, 63));
    EXPECT_EQ(p.first()->getInt("v"), 1);
    EXPECT_EQ(p.root->childCount(), 1);
}

TEST(ScriptLimits, MegabyteTagNameCutTo63)
{
    const std::string name(1 << 20, 'm');
    Parsed p = parsed("<demo><" + name + " x=\"1\"/><" + name + "/><next/></demo>");
    EXPECT_EQ(p.result, 0);
    cXmlTag* demo = p.first();
    ASSERT_NE(demo, nullptr);
    ASSERT_EQ(demo->childCount(), 3);
    EXPECT_EQ(std::string(demo->firstChild->name), std::string(63, 'm'));
    EXPECT_EQ(demo->firstChild->getInt("x"), 1);
    EXPECT_EQ(std::string(demo->firstChild->next->name), std::string(63, 'm'));
    EXPECT_STREQ(demo->lastChild()->name, "next");
}

TEST(ScriptLimits, ParamNameCutTo31)
{
    const std::string name(40, 'p');
    Parsed p = parsed("<a " + name + "=\"v\"/>");
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(std::string(p.first()->firstParam->name), name.substr(0, 31));
    EXPECT_STREQ(p.first()->getString(name.substr(0, 31).c_str()), "v");
}

TEST(ScriptLimits, ValueCutTo2047)
{
    const std::string exact(2047, 'e');
    const std::string over(2048, 'o');
    const std::string huge(100000, 'h');
    Parsed p = parsed("<a e=\"" + exact + "\" o=\"" + over + "\" h=\"" + huge + "\" z=\"last\"/><b/>");
    EXPECT_EQ(p.result, 0);
    cXmlTag* a = p.first();
    EXPECT_EQ(std::string(a->getString("e")), exact);
    EXPECT_EQ(std::string(a->getString("o")), over.substr(0, 2047));
    EXPECT_EQ(std::string(a->getString("h")), huge.substr(0, 2047));
    EXPECT_STREQ(a->getString("z"), "last");
    EXPECT_EQ(p.tree().substr(p.tree().size() - 2), ",b");
}

// ---- each error text of the table ------------------------------------------

TEST(ScriptErrors, CouldNotFind)
{
    TempDir dir;
    Parsed missing = loaded("missing.txt");
    EXPECT_EQ(missing.result, -1);
    EXPECT_EQ(missing.error, "couldn't find missing.txt");
    EXPECT_EQ(missing.console, "load[data/missing.txt]\nError: file not found data/missing.txt\n");

    writeDataFile("empty.txt", "");
    Parsed empty = loaded("empty.txt");
    EXPECT_EQ(empty.result, -1);
    EXPECT_EQ(empty.error, "couldn't find empty.txt");
    EXPECT_EQ(empty.console, "load[data/empty.txt]\n");

    writeDataFile("tiny.txt", "<a>"); // 3 bytes
    Parsed tiny = loaded("tiny.txt");
    EXPECT_EQ(tiny.result, -1);
    EXPECT_EQ(tiny.error, "couldn't find tiny.txt");
    EXPECT_EQ(tiny.tree(), "");

    writeDataFile("four.txt", "<a/>"); // 4 bytes are enough
    Parsed four = loaded("four.txt");
    EXPECT_EQ(four.result, 0);
    EXPECT_EQ(four.tree(), "a");

    // The path is named unchanged (not with its data folder).
    Parsed texture = loaded("pic.tga");
    EXPECT_EQ(texture.error, "couldn't find pic.tga");
    EXPECT_NE(texture.console.find("data/textures/pic.tga"), std::string::npos);
}

TEST(ScriptErrors, ExpectedLessThanIsNotAFailure)
{
    Parsed p = parsed("<a/>abcdefghijklmnop");
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.error, "XML Error expected < [abcdefghij]\n");
    Parsed q = parsed("<a/>xy");
    EXPECT_EQ(q.error, "XML Error expected < [xy]\n");
}

TEST(ScriptErrors, ExpectedGreaterThan)
{
    Parsed p = parsed("<a/><b c=\"1\"");
    EXPECT_EQ(p.result, -1);
    EXPECT_EQ(p.error, "XML Error expected > [<b c=\"1\"]\n");
    // The text quoted starts at the read position, ten characters at most.
    Parsed q = parsed("<a/>  some text <b");
    EXPECT_EQ(q.result, -1);
    EXPECT_EQ(q.error, "XML Error expected > [  some tex]\n");
}

TEST(ScriptErrors, TagWithoutName)
{
    Parsed p = parsed("<123>");
    EXPECT_EQ(p.result, -1);
    EXPECT_EQ(p.error, "XML Error[123]\n");
    Parsed q = parsed("<a/>< 12345678901234 >");
    EXPECT_EQ(q.result, -1);
    EXPECT_EQ(q.error, "XML Error[ 123456789]\n");
    Parsed r = parsed("<>");
    EXPECT_EQ(r.error, "XML Error[]\n");
    Parsed s = parsed("</>");
    EXPECT_EQ(s.result, -1);
    EXPECT_EQ(s.error, "XML Error[]\n");
    Parsed t = parsed("<//>");
    EXPECT_EQ(t.result, -1);
}

TEST(ScriptErrors, EndTagNotEqualToParent)
{
    // Read directly into a tag, the inner level's own text is the result.
    cXmlTag root;
    cXmlTag* a = root.addChild("a");
    const std::string text = "<b></b></camera>";
    cMemoryStream source(text.data(), static_cast<int>(text.size()));
    EXPECT_EQ(parse(a, source), -1);
    EXPECT_STREQ(lastError(), "XML Error </?> not equal to parent <?> ! [camera]\n");

    cXmlTag* c = root.addChild("c");
    const std::string longer = "</abcdefghijklmnopqrstuvwxyz>";
    cMemoryStream source2(longer.data(), static_cast<int>(longer.size()));
    EXPECT_EQ(parse(c, source2), -1);
    EXPECT_STREQ(lastError(), "XML Error </?> not equal to parent <?> ! [abcdefghij]\n");
}

TEST(ScriptErrors, MalformedParams)
{
    Parsed p = parsed("<a b\"1\"></a>");
    EXPECT_EQ(p.result, -1);
    EXPECT_EQ(p.error, "ERROR: tag [a] couldn't be read params");
    EXPECT_EQ(p.console, "**** ILLEGAL ****\n");

    Parsed q = parsed("<a b<c></a>");
    EXPECT_EQ(q.result, -1);
    EXPECT_EQ(q.error, "ERROR: tag [a] couldn't be read params");
    EXPECT_EQ(q.console, "**** ILLEGAL ****\n");
}

TEST(ScriptErrors, ValueWithoutClosingQuoteInsideATag)
{
    Parsed p = parsed("<a b=\"x></a>");
    EXPECT_EQ(p.result, -1);
    EXPECT_EQ(p.error, "ERROR: tag [a] couldn't be read params");
    EXPECT_EQ(p.console, "**** ILLEGAL ****\n");
    Parsed q = parsed("<a b=1></a>");
    EXPECT_EQ(q.result, -1);
    EXPECT_EQ(q.error, "ERROR: tag [a] couldn't be read params");
}

TEST(ScriptErrors, FailureInsideATagsContent)
{
    Parsed p = parsed("<demo></camera>");
    EXPECT_EQ(p.result, -1);
    EXPECT_EQ(p.error, "ERROR: tag [demo] couldn't be read");
    // The tags read so far stay in the tree.
    EXPECT_EQ(p.tree(), "demo");
}

TEST(ScriptErrors, OutermostTagNamesTheFailure)
{
    const char* const faults[] = {
        "<demo><camera><key></camera></key></demo>",    // mismatch deep inside
        "<demo><a><b><c x\"1\"/></b></a></demo>",       // bad params deep inside
        "<demo><a><123></a></demo>",                    // nameless tag inside
        "<demo><a><b",                                  // "<" without ">" inside
        "<demo><event><a b=\"open></a></event></demo>", // open quote inside
    };
    for (const char* fault : faults) {
        Parsed p = parsed(fault);
        EXPECT_EQ(p.result, -1) << fault;
        EXPECT_EQ(p.error, "ERROR: tag [demo] couldn't be read") << fault;
    }
    // Tags before the faulty one are kept.
    Parsed q = parsed("<ok/><demo><a/><b></c></demo><never/>");
    EXPECT_EQ(q.tree(), "ok,demo[a,b]");
    EXPECT_EQ(q.error, "ERROR: tag [demo] couldn't be read");
}

TEST(ScriptErrors, TagWithBadParamsStaysInTheTree)
{
    Parsed p = parsed("<ok/><bad a=\"1\" x\"1\"/><never/>");
    EXPECT_EQ(p.result, -1);
    EXPECT_EQ(p.tree(), "ok,bad(a=1)");
}

TEST(ScriptErrors, ErrorOfACompleteTopLevelTagIsItsOwn)
{
    // A top-level tag with bad params is not "inside" anything.
    Parsed p = parsed("<demo></demo><bad x\"1\"/>");
    EXPECT_EQ(p.result, -1);
    EXPECT_EQ(p.error, "ERROR: tag [bad] couldn't be read params");
    Parsed q = parsed("<demo><bad x\"1\"/></demo>");
    EXPECT_EQ(q.error, "ERROR: tag [demo] couldn't be read");
}

// ---- includes --------------------------------------------------------------

TEST(ScriptIncludes, IncludedTagsTakeThePlaceOfTheInclude)
{
    TempDir dir;
    writeDataFile("script.txt", "<demo><x/><include file=\"part.txt\"></include><y/></demo>");
    writeDataFile("part.txt", "<p1 v=\"1\"/>\n<p2><q/></p2>\n");
    Parsed p = loaded("script.txt");
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.tree(), "demo[x,p1(v=1),p2[q],y]");
    EXPECT_EQ(p.console, "load[data/script.txt]\nload[data/part.txt]\n");
    cXmlTag* demo = p.first();
    for (cXmlTag* c : demo->children()) EXPECT_EQ(c->parent, demo);
}

TEST(ScriptIncludes, TwoFileParamsInOrder)
{
    TempDir dir;
    writeDataFile("script.txt", "<demo><include file=\"a.txt\" file=\"b.txt\"></include><z/></demo>");
    writeDataFile("a.txt", "<a1/><a2/>");
    writeDataFile("b.txt", "<b1/>");
    Parsed p = loaded("script.txt");
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.tree(), "demo[a1,a2,b1,z]");
    EXPECT_EQ(p.console, "load[data/script.txt]\nload[data/a.txt]\nload[data/b.txt]\n");
}

TEST(ScriptIncludes, OnlyFileParamsInclude)
{
    TempDir dir;
    writeDataFile("script.txt", "<demo><INCLUDE name=\"a.txt\" FILE=\"b.txt\"></Include></demo>");
    writeDataFile("a.txt", "<a1/>");
    writeDataFile("b.txt", "<b1/>");
    Parsed p = loaded("script.txt");
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.tree(), "demo[b1]");
}

TEST(ScriptIncludes, AtTheTopLevel)
{
    TempDir dir;
    writeDataFile("script.txt", "<first/><include file=\"more.txt\"></include><last/>");
    writeDataFile("more.txt", "<demo><m/></demo>");
    Parsed p = loaded("script.txt");
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.tree(), "first,demo[m],last");
}

TEST(ScriptIncludes, SelfClosingIncludeIncludesTheFile)
{
    TempDir dir;
    writeDataFile("script.txt", "<demo><include file=\"part.txt\"/><z/></demo><after/>");
    writeDataFile("part.txt", "<p1/><p2/>");
    Parsed p = loaded("script.txt");
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.tree(), "demo[p1,p2,z],after");
}

TEST(ScriptIncludes, IncludeContentIsDiscarded)
{
    TempDir dir;
    writeDataFile("script.txt", "<demo><include file=\"part.txt\"><junk a=\"1\"><deeper/></junk></include><z/></demo>");
    writeDataFile("part.txt", "<p/>");
    Parsed p = loaded("script.txt");
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.tree(), "demo[p,z]");
}

TEST(ScriptIncludes, MissingIncludeAddsNothing)
{
    TempDir dir;
    writeDataFile("script.txt", "<demo><x/><include file=\"nope.txt\"></include><y/></demo>");
    Parsed p = loaded("script.txt");
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.tree(), "demo[x,y]");
    EXPECT_EQ(p.console, "load[data/script.txt]\nload[data/nope.txt]\nError: file not found data/nope.txt\n");

    // An empty or tiny included file is no error either.
    writeDataFile("empty.txt", "");
    writeDataFile("script2.txt", "<demo><include file=\"empty.txt\"/><y/></demo>");
    Parsed q = loaded("script2.txt");
    EXPECT_EQ(q.result, 0);
    EXPECT_EQ(q.tree(), "demo[y]");
}

TEST(ScriptIncludes, UnclosedIncludeStillIncludesAtTheEndOfTheText)
{
    // The include's content read ends with the text (or with the last "<"),
    // successfully, so its files are included as for a closed include.
    TempDir dir;
    writeDataFile("part.txt", "<p1/><p2/>");
    writeDataFile("a.txt", "<demo><x/><include file=\"part.txt\">");
    Parsed a = loaded("a.txt");
    EXPECT_EQ(a.result, 0);
    EXPECT_EQ(a.tree(), "demo[x,p1,p2]");

    writeDataFile("b.txt", "<include file=\"part.txt\"><junk/> trailing text");
    Parsed b = loaded("b.txt");
    EXPECT_EQ(b.result, 0);
    EXPECT_EQ(b.tree(), "p1,p2");

    // Nested open includes: the inner one's files land in the outer
    // include's discarded content, the outer one's in demo.
    writeDataFile("other.txt", "<o/>");
    writeDataFile("c.txt", "<demo><include file=\"part.txt\"><include file=\"other.txt\">");
    Parsed c = loaded("c.txt");
    EXPECT_EQ(c.result, 0);
    EXPECT_EQ(c.tree(), "demo[p1,p2]");
    EXPECT_NE(c.console.find("load[data/other.txt]"), std::string::npos);

    // A fault in such an include's file is a fault of the enclosing tag.
    writeDataFile("bad.txt", "<e></f>");
    writeDataFile("d.txt", "<demo><include file=\"bad.txt\">");
    Parsed d = loaded("d.txt");
    EXPECT_EQ(d.result, -1);
    EXPECT_EQ(d.error, "ERROR: tag [demo] couldn't be read");

    // And an unclosed include loop stops like a closed one.
    writeDataFile("loop.txt", "<t/><include file=\"loop.txt\">");
    Parsed e = loaded("loop.txt");
    EXPECT_EQ(e.result, -1);
    EXPECT_EQ(e.error, "ERROR: include [loop.txt] nested too deep");
}

TEST(ScriptIncludes, FileNamesGoThroughTheLocator)
{
    TempDir dir;
    writeDataFile("script.txt", "<demo><include file=\"parts/one.txt\"/></demo>");
    writeDataFile("parts/one.txt", "<one/>");
    Parsed p = loaded("script.txt");
    EXPECT_EQ(p.tree(), "demo[one]");
    EXPECT_NE(p.console.find("load[data/parts/one.txt]"), std::string::npos);
}

TEST(ScriptIncludes, NestedIncludes)
{
    TempDir dir;
    writeDataFile("script.txt", "<demo><include file=\"a.txt\"/></demo>");
    writeDataFile("a.txt", "<a><include file=\"b.txt\"/></a><a2/>");
    writeDataFile("b.txt", "<b/>");
    Parsed p = loaded("script.txt");
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.tree(), "demo[a[b],a2]");
}

TEST(ScriptIncludes, EndTagInAnIncludedFileEndsThatFile)
{
    TempDir dir;
    // Included in demo: "</demo>" closes the included file only.
    writeDataFile("script.txt", "<demo><include file=\"part.txt\"/><z/></demo>");
    writeDataFile("part.txt", "<p1/></demo><p2/>");
    Parsed p = loaded("script.txt");
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.tree(), "demo[p1,z]");

    // Included at the top level: any end tag ends that file.
    writeDataFile("top.txt", "<include file=\"part2.txt\"/><z/>");
    writeDataFile("part2.txt", "<p1/></anything><p2/>");
    Parsed q = loaded("top.txt");
    EXPECT_EQ(q.result, 0);
    EXPECT_EQ(q.tree(), "p1,z");

    // Another end tag inside demo is a fault of demo.
    writeDataFile("bad.txt", "<demo><include file=\"part3.txt\"/><z/></demo>");
    writeDataFile("part3.txt", "<p1/></camera><p2/>");
    Parsed r = loaded("bad.txt");
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.error, "ERROR: tag [demo] couldn't be read");
}

TEST(ScriptIncludes, FaultsInsideIncludes)
{
    TempDir dir;
    // A fault inside an included file names the outermost tag.
    writeDataFile("script.txt", "<demo><include file=\"part.txt\"/></demo>");
    writeDataFile("part.txt", "<event><a></b></event>");
    Parsed p = loaded("script.txt");
    EXPECT_EQ(p.result, -1);
    EXPECT_EQ(p.error, "ERROR: tag [demo] couldn't be read");

    // Included at the top level, the included file's own outermost tag.
    writeDataFile("top.txt", "<include file=\"part.txt\"/>");
    Parsed q = loaded("top.txt");
    EXPECT_EQ(q.result, -1);
    EXPECT_EQ(q.error, "ERROR: tag [event] couldn't be read");

    // A fault in the include's own content.
    writeDataFile("content.txt", "<demo><include file=\"part.txt\"><b></c></include></demo>");
    Parsed r = loaded("content.txt");
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.error, "ERROR: tag [demo] couldn't be read");

    // Bad params of the include tag itself are ignored.
    writeDataFile("ok.txt", "<demo><include file=\"good.txt\" oops\"></include></demo>");
    writeDataFile("good.txt", "<g/>");
    Parsed s = loaded("ok.txt");
    EXPECT_EQ(s.result, 0);
    EXPECT_EQ(s.tree(), "demo[g]");
    EXPECT_NE(s.console.find("**** ILLEGAL ****"), std::string::npos);
}

TEST(ScriptIncludes, IncludeLoopStops)
{
    TempDir dir;
    writeDataFile("script.txt", "<demo><include file=\"loop.txt\"></include></demo>");
    writeDataFile("loop.txt", "<t/><include file=\"loop.txt\"></include>");
    Parsed p = loaded("script.txt");
    EXPECT_EQ(p.result, -1);
    EXPECT_EQ(p.error, "ERROR: tag [demo] couldn't be read");
    // Stopped after a bounded number of files.
    EXPECT_EQ(p.first()->childCount(), 16);

    // A script including itself at the top level names the file.
    writeDataFile("self.txt", "<a/><include file=\"self.txt\"/>");
    Parsed q = loaded("self.txt");
    EXPECT_EQ(q.result, -1);
    EXPECT_EQ(q.error, "ERROR: include [self.txt] nested too deep");
    EXPECT_EQ(q.root->childCount(), 17);

    // Two files including each other.
    writeDataFile("ping.txt", "<include file=\"pong.txt\"/>");
    writeDataFile("pong.txt", "<include file=\"ping.txt\"/>");
    Parsed r = loaded("ping.txt");
    EXPECT_EQ(r.result, -1);
    EXPECT_NE(r.error.find("nested too deep"), std::string::npos);
}

TEST(ScriptIncludes, SixteenNestedFilesAreFineSeventeenAreNot)
{
    TempDir dir;
    // chain<i>.txt holds <c<i>/> and includes chain<i+1>.txt.
    auto writeChain = [](const std::string& prefix, int files) {
        for (int i = 1; i <= files; ++i) {
            std::string text = "<c" + std::to_string(i) + "/>";
            if (i < files) text += "<include file=\"" + prefix + std::to_string(i + 1) + ".txt\"/>";
            writeDataFile(prefix + std::to_string(i) + ".txt", text);
        }
        writeDataFile(prefix + ".txt", "<include file=\"" + prefix + "1.txt\"/>");
    };
    writeChain("ok", 16);
    Parsed p = loaded("ok.txt");
    EXPECT_EQ(p.result, 0) << p.error;
    EXPECT_EQ(p.root->childCount(), 16);

    writeChain("deep", 17);
    Parsed q = loaded("deep.txt");
    EXPECT_EQ(q.result, -1);
    EXPECT_EQ(q.error, "ERROR: include [deep17.txt] nested too deep");
    EXPECT_EQ(q.root->childCount(), 16);
}

// ---- bad input -------------------------------------------------------------

TEST(ScriptBadInput, UnbalancedTags)
{
    Parsed p = parsed("<a><b></a></b>");
    EXPECT_EQ(p.result, -1);
    EXPECT_EQ(p.error, "ERROR: tag [a] couldn't be read");
    Parsed q = parsed("</a></b>");
    EXPECT_EQ(q.result, 0);
    Parsed r = parsed("<a><b><c>");
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.tree(), "a[b[c]]");
    Parsed s = parsed(">>><<<");
    EXPECT_EQ(s.result, -1);
}

TEST(ScriptBadInput, OpenValueAtTheEndOfTheText)
{
    Parsed p = parsed("<a b=\"x");
    EXPECT_EQ(p.result, -1);
    EXPECT_EQ(p.error, "XML Error expected > [<a b=\"x]\n");
    Parsed q = parsed("<demo><a b=\"x");
    EXPECT_EQ(q.result, -1);
    EXPECT_EQ(q.error, "ERROR: tag [demo] couldn't be read");
}

TEST(ScriptBadInput, ThreeByteScript)
{
    TempDir dir;
    writeDataFile("script.txt", "<a>");
    Parsed p = loaded("script.txt");
    EXPECT_EQ(p.result, -1);
    EXPECT_EQ(p.error, "couldn't find script.txt");
    // Parsed directly, three bytes are a document like any other.
    Parsed q = parsed("<a>");
    EXPECT_EQ(q.result, 0);
    EXPECT_EQ(q.tree(), "a");
}

TEST(ScriptBadInput, EmptyAndTinySources)
{
    cXmlTag root;
    cMemoryStream empty;
    EXPECT_EQ(parse(&root, empty), 0);
    EXPECT_STREQ(lastError(), "");
    // Text before the first tag is skipped (and said); a tag cut short fails.
    const struct {
        const char* text;
        int result;
        const char* error;
    } cases[] = {
        {"<", -1, "XML Error expected > [<]\n"},   {">", 0, "XML Error expected < [>]\n"},
        {"/", 0, "XML Error expected < [/]\n"},    {"\"", 0, "XML Error expected < [\"]\n"},
        {"=", 0, "XML Error expected < [=]\n"},    {"a", 0, "XML Error expected < [a]\n"},
        {"<a", -1, "XML Error expected > [<a]\n"}, {"</", -1, "XML Error expected > [</]\n"},
        {"<\"", -1, "XML Error expected > [<\"]\n"}, {"<=>", -1, "XML Error[=]\n"},
        {"<a/>", 0, ""}, // after the failures before it, a good read says nothing
    };
    for (const auto& c : cases) {
        Parsed p = parsed(c.text);
        EXPECT_EQ(p.result, c.result) << c.text;
        EXPECT_EQ(p.error, c.error) << c.text;
    }
}

TEST(ScriptBadInput, TenThousandNestedTags)
{
    const int depth = 10000;
    std::string text;
    for (int i = 0; i < depth; ++i) text += "<a v=\"" + std::to_string(i) + "\">";
    for (int i = 0; i < depth; ++i) text += "</a>";
    text += "<tail/>";
    Parsed p = parsed(text);
    EXPECT_EQ(p.result, 0);
    int levels = 0;
    const cXmlTag* t = p.first();
    const cXmlTag* deepest = nullptr;
    for (; t; t = t->firstChild) {
        ++levels;
        deepest = t;
        EXPECT_LE(t->childCount(), 1);
    }
    EXPECT_EQ(levels, depth);
    EXPECT_EQ(deepest->getInt("v"), depth - 1);
    EXPECT_STREQ(p.root->lastChild()->name, "tail");
}

TEST(ScriptBadInput, DeepNestingFailureNamesTheOutermostTag)
{
    std::string text = "<outer>";
    for (int i = 0; i < 10000; ++i) text += "<a>";
    text += "</wrong>";
    Parsed p = parsed(text);
    EXPECT_EQ(p.result, -1);
    EXPECT_EQ(p.error, "ERROR: tag [outer] couldn't be read");
}

namespace {
struct DeepJob {
    int depth;
    int result = -2;
    int levels = 0;
};

void* parseDeep(void* arg)
{
    auto* job = static_cast<DeepJob*>(arg);
    std::string text;
    text.reserve(static_cast<size_t>(job->depth) * 7);
    for (int i = 0; i < job->depth; ++i) text += "<a>";
    for (int i = 0; i < job->depth; ++i) text += "</a>";
    cXmlTag root;
    cMemoryStream source(text.data(), static_cast<int>(text.size()));
    job->result = parse(&root, source);
    for (const cXmlTag* t = root.firstChild; t; t = t->firstChild) ++job->levels;
    return nullptr;
}
} // namespace

TEST(ScriptBadInput, DeepNestingNeedsNoDeepStack)
{
    // 100 000 levels parsed on a thread with a 512 KiB stack: a reader that
    // recursed per level would overflow it.
    DeepJob job{100000};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 512 * 1024);
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, &attr, parseDeep, &job), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
    EXPECT_EQ(job.result, 0);
    EXPECT_EQ(job.levels, 100000);
}

TEST(ScriptBadInput, BinaryGarbageLoadsOrFailsWithAText)
{
    // Random bytes, and random strings over the reader's own alphabet.
    const char alphabet[] = "<<>>//==\"\"  aZ9_\n\t\0include file";
    TempDir dir; // in case the garbage happens to name an include
    testing::internal::CaptureStdout();
    for (unsigned seed = 1; seed <= 3000; ++seed) {
        kxtest::Random random(seed);
        const unsigned length = random.below(seed % 10 == 0 ? 4000 : 80);
        std::string text(length, '\0');
        const bool fromAlphabet = seed % 2 == 0;
        for (char& c : text)
            c = fromAlphabet ? alphabet[random.below(sizeof alphabet - 1)] : static_cast<char>(random.next());
        cXmlTag root;
        cMemoryStream source(text.data(), static_cast<int>(text.size()));
        const int result = parse(&root, source);
        const std::string error = lastError();
        if (result != 0) {
            EXPECT_EQ(result, -1) << "seed " << seed;
            EXPECT_FALSE(error.empty()) << "seed " << seed;
        }
        // Whatever was read is a well-formed tree.
        std::vector<const cXmlTag*> todo{&root};
        while (!todo.empty()) {
            const cXmlTag* t = todo.back();
            todo.pop_back();
            for (const cXmlTag* c : t->children()) {
                EXPECT_EQ(c->parent, t);
                EXPECT_LE(std::strlen(c->name), 63u);
                for (const cXmlParam* prm : c->params()) {
                    EXPECT_LE(std::strlen(prm->name), 31u);
                    EXPECT_LE(std::strlen(prm->value), 2047u);
                }
                todo.push_back(c);
            }
        }
    }
    testing::internal::GetCapturedStdout();
}

TEST(ScriptBadInput, BinaryGarbageFiles)
{
    TempDir dir;
    testing::internal::CaptureStdout();
    for (unsigned seed = 1; seed <= 40; ++seed) {
        kxtest::Random random(seed);
        std::string text(4 + random.below(2000), '\0');
        for (char& c : text) c = static_cast<char>(random.next());
        if (seed % 4 == 0) text = "<demo><include file=\"g.txt\"/>" + text;
        writeDataFile("g.txt", text);
        cXmlTag root;
        const int result = loadFile(&root, "g.txt");
        // Each read starts without an error: a failure says why itself.
        if (result != 0) {
            EXPECT_TRUE(isReaderError(lastError())) << "seed " << seed << ": " << lastError();
        }
    }
    testing::internal::GetCapturedStdout();
}

TEST(ScriptBadInput, MutatedScripts)
{
    const std::string script =
        "<demo name=\"x\" speed=\"1.5\"><include file=\"none.txt\"/><camera id=\"c\" pos=\"1,2,3\"></camera>"
        "<event time=\"10\"><flash color=\"0xffffffff\"/></event></demo>";
    TempDir dir;
    testing::internal::CaptureStdout();
    for (unsigned seed = 1; seed <= 2000; ++seed) {
        kxtest::Random random(seed);
        std::string text = script;
        const unsigned edits = 1 + random.below(4);
        for (unsigned e = 0; e < edits; ++e) {
            const size_t at = random.below(static_cast<unsigned>(text.size()));
            switch (random.below(3)) {
            case 0:
                text.erase(at, 1);
                break;
            case 1:
                text.insert(at, 1, "<>/=\"a"[random.below(6)]);
                break;
            default:
                text[at] = static_cast<char>(random.next());
                break;
            }
        }
        cXmlTag root;
        cMemoryStream source(text.data(), static_cast<int>(text.size()));
        const int result = parse(&root, source);
        EXPECT_TRUE(result == 0 || result == -1) << text;
        if (result != 0) {
            EXPECT_TRUE(isReaderError(lastError())) << text << ": " << lastError();
        }
    }
    testing::internal::GetCapturedStdout();
}
