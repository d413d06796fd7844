// cXmlTag, cXmlParam, the document arena and the typed readers.
#include "common/script/xml_tag.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A tag with one param `v` holding the given value.
struct OneValue {
    explicit OneValue(const char* value)
    {
        tag = root.addChild("t");
        tag->addParam("v", value);
    }
    cXmlTag root;
    cXmlTag* tag;
};

int intOf(const char* value) { return OneValue(value).tag->getInt("v"); }
float floatOf(const char* value) { return OneValue(value).tag->getFloat("v"); }

} // namespace

// ---- building and walking --------------------------------------------------

TEST(XmlTag, RootIsEmpty)
{
    cXmlTag root;
    EXPECT_STREQ(root.name, "");
    EXPECT_TRUE(root.isRoot());
    EXPECT_EQ(root.childCount(), 0);
    EXPECT_EQ(root.paramCount(), 0);
    EXPECT_EQ(root.lastChild(), nullptr);
    EXPECT_EQ(root.lastParam(), nullptr);
    int n = 0;
    for (cXmlTag* c : root.children()) {
        (void)c;
        ++n;
    }
    for (cXmlParam* p : root.params()) {
        (void)p;
        ++n;
    }
    EXPECT_EQ(n, 0);
}

TEST(XmlTag, ChildrenAndParamsInOrder)
{
    cXmlTag root;
    cXmlTag* demo = root.addChild("demo");
    cXmlTag* a = demo->addChild("a");
    cXmlTag* b = demo->addChild("b");
    cXmlTag* c = demo->addChild("c");
    demo->addParam("x", "1");
    demo->addParam("y", "2");
    demo->addParam("x", "3");

    EXPECT_EQ(demo->parent, &root);
    EXPECT_EQ(a->parent, demo);
    EXPECT_FALSE(demo->isRoot());
    EXPECT_EQ(demo->childCount(), 3);
    EXPECT_EQ(demo->lastChild(), c);
    std::vector<cXmlTag*> kids;
    for (cXmlTag* k : demo->children()) kids.push_back(k);
    EXPECT_EQ(kids, (std::vector<cXmlTag*>{a, b, c}));

    std::string walked;
    for (cXmlParam* p : demo->params()) walked += std::string(p->name) + "=" + p->value + ";";
    EXPECT_EQ(walked, "x=1;y=2;x=3;");
    EXPECT_EQ(demo->paramCount(), 3);
    EXPECT_STREQ(demo->lastParam()->value, "3");
    EXPECT_EQ(b->childCount(), 0);
}

TEST(XmlTag, NamesCompareIgnoringCase)
{
    cXmlTag root;
    cXmlTag* t = root.addChild("Demo");
    EXPECT_STREQ(t->name, "Demo");
    EXPECT_TRUE(t->nameIs("demo"));
    EXPECT_TRUE(t->nameIs("DEMO"));
    EXPECT_FALSE(t->nameIs("demos"));
    EXPECT_FALSE(t->nameIs("dem"));
    t->addParam("Speed", "4");
    EXPECT_EQ(t->getInt("speed"), 4);
    EXPECT_EQ(t->getInt("SPEED"), 4);
    EXPECT_NE(t->findParam("sPeEd"), nullptr);
    EXPECT_EQ(t->findParam("spee"), nullptr);
}

TEST(XmlTag, BuiltStringsAreCutToTheFieldWidths)
{
    cXmlTag root;
    const std::string longName(100, 'n');
    const std::string longValue(5000, 'v');
    cXmlTag* t = root.addChild(longName.c_str());
    EXPECT_EQ(std::strlen(t->name), 63u);
    cXmlParam* p = t->addParam(longName.c_str(), longValue.c_str());
    EXPECT_EQ(std::strlen(p->name), 31u);
    EXPECT_EQ(std::strlen(p->value), 2047u);
    EXPECT_EQ(std::string(p->value), longValue.substr(0, 2047));
    // The builder copies: changing the source afterwards changes nothing.
    std::string v = "abc";
    cXmlParam* q = t->addParam("q", v.c_str());
    v[0] = 'X';
    EXPECT_STREQ(q->value, "abc");
}

TEST(XmlTag, ManyTagsShareOneArena)
{
    cXmlTag root;
    cXmlTag* last = &root;
    for (int i = 0; i < 3000; ++i) {
        cXmlTag* t = root.addChild("e");
        t->addParam("i", std::to_string(i).c_str());
        last = t;
    }
    EXPECT_EQ(root.childCount(), 3000);
    EXPECT_EQ(last->getInt("i"), 2999);
    EXPECT_EQ(&last->arena(), &root.arena());
    EXPECT_GT(root.arena().bytesReserved(), 0u);
}

TEST(XmlArena, CopyStringAndAdopt)
{
    cXmlArena arena;
    const char* s = arena.copyString("hello world", 5, 100);
    EXPECT_STREQ(s, "hello");
    EXPECT_STREQ(arena.copyString("abcdef", 6, 3), "abc");
    EXPECT_STREQ(arena.copyString(nullptr, 0, 10), "");
    // A big string gets a block of its own.
    const std::string big(10 * 1024 * 1024, 'b');
    const char* copy = arena.copyString(big.data(), big.size(), big.size());
    EXPECT_EQ(std::strlen(copy), big.size());
    arena.adopt(new unsigned char[16]); // freed with the arena
    arena.adopt(nullptr);
}

// ---- typed readers ---------------------------------------------------------

TEST(XmlReaders, AbsentParams)
{
    cXmlTag root;
    cXmlTag* t = root.addChild("t");
    t->addParam("other", "5");
    EXPECT_EQ(t->getString("v"), nullptr);
    EXPECT_EQ(t->getInt("v"), 0);
    EXPECT_EQ(t->getFloat("v"), 0.0f);
    const sVec3 v3 = t->getVec3("v");
    EXPECT_EQ(v3.x, 0.0f);
    EXPECT_EQ(v3.y, 0.0f);
    EXPECT_EQ(v3.z, 0.0f);
    const sVec4 v4 = t->getVec4("v");
    EXPECT_EQ(v4.x, 0.0f);
    EXPECT_EQ(v4.w, 0.0f);
}

TEST(XmlReaders, FirstMatchWinsForRepeatedParams)
{
    cXmlTag root;
    cXmlTag* t = root.addChild("t");
    t->addParam("b", "1");
    t->addParam("B", "2");
    t->addParam("b", "3.5,4,5");
    EXPECT_STREQ(t->getString("b"), "1");
    EXPECT_EQ(t->getInt("b"), 1);
    EXPECT_EQ(t->getFloat("B"), 1.0f);
    EXPECT_EQ(t->getVec3("b").x, 1.0f);
    EXPECT_EQ(t->getVec3("b").y, 0.0f);
    EXPECT_EQ(t->findParam("b"), t->firstParam);
}

TEST(XmlReaders, GetStringIsVerbatim)
{
    EXPECT_STREQ(OneValue("  a b / < = ").tag->getString("v"), "  a b / < = ");
    EXPECT_STREQ(OneValue("").tag->getString("v"), "");
}

TEST(XmlReaders, GetIntIsLenient)
{
    EXPECT_EQ(intOf("42"), 42);
    EXPECT_EQ(intOf("12abc"), 12);
    EXPECT_EQ(intOf(" -3"), -3);
    EXPECT_EQ(intOf("\t+7"), 7);
    EXPECT_EQ(intOf("abc"), 0);
    EXPECT_EQ(intOf(""), 0);
    EXPECT_EQ(intOf("-"), 0);
    EXPECT_EQ(intOf("1.9"), 1);
    EXPECT_EQ(intOf("0x10"), 0); // decimal only
    EXPECT_EQ(intOf("007"), 7);  // not octal
    EXPECT_EQ(intOf("1 2"), 1);
}

TEST(XmlReaders, GetIntSaturatesHugeNumbers)
{
    EXPECT_EQ(intOf("2147483647"), INT_MAX);
    EXPECT_EQ(intOf("-2147483648"), INT_MIN);
    EXPECT_EQ(intOf("2147483648"), INT_MAX);
    EXPECT_EQ(intOf("-2147483649"), INT_MIN);
    EXPECT_EQ(intOf("99999999999999999999999999999"), INT_MAX);
    EXPECT_EQ(intOf("-99999999999999999999999999999"), INT_MIN);
    EXPECT_EQ(cXmlTag::toInt(std::string(2000, '9').c_str()), INT_MAX);
}

TEST(XmlReaders, GetFloatIsLenient)
{
    EXPECT_FLOAT_EQ(floatOf("1.5"), 1.5f);
    EXPECT_FLOAT_EQ(floatOf("12abc"), 12.0f);
    EXPECT_FLOAT_EQ(floatOf(" -3"), -3.0f);
    EXPECT_FLOAT_EQ(floatOf(" -3.25xyz"), -3.25f);
    EXPECT_FLOAT_EQ(floatOf(".5"), 0.5f);
    EXPECT_FLOAT_EQ(floatOf("-.5"), -0.5f);
    EXPECT_FLOAT_EQ(floatOf("2."), 2.0f);
    EXPECT_FLOAT_EQ(floatOf("1e3"), 1000.0f);
    EXPECT_FLOAT_EQ(floatOf("2.5E-1"), 0.25f);
    EXPECT_FLOAT_EQ(floatOf("1,5"), 1.0f);
    EXPECT_EQ(floatOf("abc"), 0.0f);
    EXPECT_EQ(floatOf(""), 0.0f);
    EXPECT_EQ(floatOf("."), 0.0f);
    EXPECT_EQ(floatOf("-"), 0.0f);
}

TEST(XmlReaders, GetFloatReadsDecimalNumbersOnly)
{
    // "Text without a leading number is 0": words that happen to begin like
    // the C library's special spellings, and hexadecimal, are not numbers.
    EXPECT_EQ(floatOf("inf"), 0.0f);
    EXPECT_EQ(floatOf("infinite"), 0.0f);
    EXPECT_EQ(floatOf("-INFINITY"), 0.0f);
    EXPECT_EQ(floatOf("nan"), 0.0f);
    EXPECT_EQ(floatOf("nancy"), 0.0f);
    EXPECT_EQ(floatOf(" NaN(1)"), 0.0f);
    EXPECT_EQ(floatOf("0x10"), 0.0f);
    EXPECT_EQ(floatOf("-0X1p3"), 0.0f);
    EXPECT_FLOAT_EQ(floatOf("0.5x"), 0.5f);
    EXPECT_FLOAT_EQ(floatOf("10x"), 10.0f);
}

TEST(XmlReaders, GetFloatSaturatesHugeNumbers)
{
    const float big = floatOf("1e999");
    EXPECT_GE(big, FLT_MAX);
    EXPECT_LE(floatOf("-1e999"), -FLT_MAX);
    EXPECT_GE(floatOf(std::string(300, '9').c_str()), FLT_MAX);
    EXPECT_EQ(floatOf("1e-999"), 0.0f);
}

TEST(XmlReaders, GetVec3)
{
    sVec3 v = OneValue("1.5,2,-3").tag->getVec3("v");
    EXPECT_FLOAT_EQ(v.x, 1.5f);
    EXPECT_FLOAT_EQ(v.y, 2.0f);
    EXPECT_FLOAT_EQ(v.z, -3.0f);

    // A partly written vector leaves the missing components 0.
    v = OneValue("1,2").tag->getVec3("v");
    EXPECT_FLOAT_EQ(v.x, 1.0f);
    EXPECT_FLOAT_EQ(v.y, 2.0f);
    EXPECT_EQ(v.z, 0.0f);
    v = OneValue("7").tag->getVec3("v");
    EXPECT_FLOAT_EQ(v.x, 7.0f);
    EXPECT_EQ(v.y, 0.0f);

    v = OneValue("abc").tag->getVec3("v");
    EXPECT_EQ(v.x, 0.0f);
    EXPECT_EQ(v.y, 0.0f);
    EXPECT_EQ(v.z, 0.0f);

    // "%f" skips blanks before a number, the commas must follow directly.
    v = OneValue(" 1, 2, 3").tag->getVec3("v");
    EXPECT_FLOAT_EQ(v.x, 1.0f);
    EXPECT_FLOAT_EQ(v.y, 2.0f);
    EXPECT_FLOAT_EQ(v.z, 3.0f);
    v = OneValue("1 ,2,3").tag->getVec3("v");
    EXPECT_FLOAT_EQ(v.x, 1.0f);
    EXPECT_EQ(v.y, 0.0f);
    // A bad middle component stops the reading there.
    v = OneValue("1,x,3").tag->getVec3("v");
    EXPECT_FLOAT_EQ(v.x, 1.0f);
    EXPECT_EQ(v.y, 0.0f);
    EXPECT_EQ(v.z, 0.0f);
    // Extra components are ignored.
    v = OneValue("1,2,3,4,5").tag->getVec3("v");
    EXPECT_FLOAT_EQ(v.z, 3.0f);
}

TEST(XmlReaders, GetVec4)
{
    sVec4 v = OneValue("0.1,-0.2,3e1,4").tag->getVec4("v");
    EXPECT_FLOAT_EQ(v.x, 0.1f);
    EXPECT_FLOAT_EQ(v.y, -0.2f);
    EXPECT_FLOAT_EQ(v.z, 30.0f);
    EXPECT_FLOAT_EQ(v.w, 4.0f);
    v = OneValue("1,2,3").tag->getVec4("v");
    EXPECT_FLOAT_EQ(v.z, 3.0f);
    EXPECT_EQ(v.w, 0.0f);
    v = OneValue("").tag->getVec4("v");
    EXPECT_EQ(v.x, 0.0f);
    EXPECT_EQ(v.w, 0.0f);
    v = OneValue("1e999,2,3,4").tag->getVec4("v");
    EXPECT_GE(v.x, FLT_MAX);
    EXPECT_FLOAT_EQ(v.w, 4.0f);
}
