#include "storage/ConfigDocument.h"

#include "base/Failure.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

namespace {

std::string ReadFixture(const std::string& name) { return ReadFile(std::string(KNS_STORAGE_TEST_DATA) + "/" + name); }

std::string ParseError(std::string_view data) {
    ConfigDocument doc;
    try {
        doc.Parse(data);
    } catch (const EFailure& e) {
        return e.Message();
    }
    return "(no error)";
}

}  // namespace

TEST(ConfigDocument, ExampleFileRoundTripsByteForByte) {
    const std::string stored = ReadFixture("example.kns");
    ASSERT_FALSE(stored.empty());
    ConfigDocument doc;
    doc.Parse(stored);
    EXPECT_EQ(doc.Serialize(), stored);
    ASSERT_NE(doc.ReadValue("\\Dtc\\Ecu2\\D01"), nullptr);
    EXPECT_EQ(*doc.ReadValue("\\Dtc\\Ecu2\\D01"), "0100");
}

TEST(ConfigDocument, NewDocumentLayout) {
    ConfigDocument doc;
    doc.WriteValue("Version", "120");
    doc.WriteValue("\\Global\\Protocol", "6");
    doc.WriteValue("\\Dtc\\Ecu1\\D01", "    ");
    doc.WriteValue("\\Dtc\\Ecu1\\D02", "");
    EXPECT_EQ(doc.Serialize(),
              "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n"
              "<CONFIG>\r\n"
              "  <Version>120</Version>\r\n"
              "  <Global>\r\n"
              "    <Protocol>6</Protocol>\r\n"
              "  </Global>\r\n"
              "  <Dtc>\r\n"
              "    <Ecu1>\r\n"
              "      <D01>    </D01>\r\n"
              "      <D02/>\r\n"
              "    </Ecu1>\r\n"
              "  </Dtc>\r\n"
              "</CONFIG>\r\n");
}

TEST(ConfigDocument, EscapesSpecialCharactersAndHighBytes) {
    ConfigDocument doc;
    doc.WriteValue("D01", std::string("a&b<>\"'\xC4\xFF z"));
    const std::string text = doc.Serialize();
    EXPECT_NE(text.find("<D01>a&amp;b&lt;&gt;&quot;&apos;&#xc4;&#xff; z</D01>"), std::string::npos) << text;
    ConfigDocument back;
    back.Parse(text);
    EXPECT_EQ(*back.ReadValue("D01"), std::string("a&b<>\"'\xC4\xFF z"));

    // Names are escaped too, and read back as they were.
    doc.WriteValue("N&1", "x");
    EXPECT_NE(doc.Serialize().find("<N&amp;1>x</N&amp;1>"), std::string::npos);
    back.Parse(doc.Serialize());
    EXPECT_EQ(back.Serialize(), doc.Serialize());
    ASSERT_NE(back.ReadValue("N&1"), nullptr);
}

TEST(ConfigDocument, ReadsEntitiesReferencesCDataAndBlanks) {
    ConfigDocument doc;
    doc.Parse("<CONFIG><A>&AMP;&Lt;&gt;&quot;&apos;&#65;&#x42;&#xe4;&unknown;&#300;</A>"
              "<B><![CDATA[<&amp;>]]></B><C>   </C><D> 6 </D><E>x<!--c-->y</E></CONFIG>");
    EXPECT_EQ(*doc.ReadValue("A"), "&<>\"'AB\xE4&unknown;&#300;");
    EXPECT_EQ(*doc.ReadValue("B"), "<&amp;>");
    EXPECT_EQ(*doc.ReadValue("C"), "   ");
    EXPECT_EQ(*doc.ReadValue("D"), " 6 ");
    EXPECT_EQ(*doc.ReadValue("E"), "xy");
}

TEST(ConfigDocument, ValueIsTheWholeTextAlsoAroundComments) {
    // A comment is no child element: the blanks beside it are the value's.
    const std::pair<const char*, const char*> cases[] = {
        {"<Protocol>6 <!--c--></Protocol>", "6 "},
        {"<Protocol><!--c--> 6</Protocol>", " 6"},
        {"<Protocol> <!--a-->6<!--b--> </Protocol>", " 6 "},
        {"<Protocol>\r\n  <!--c-->\r\n</Protocol>", "\r\n  \r\n"},
        {"<Protocol><!--c--></Protocol>", ""},
    };
    for (const auto& [element, value] : cases) {
        ConfigDocument doc;
        doc.Parse(std::string("<CONFIG><Global>") + element + "</Global></CONFIG>");
        ASSERT_NE(doc.ReadValue("\\Global\\Protocol"), nullptr) << element;
        EXPECT_EQ(*doc.ReadValue("\\Global\\Protocol"), value) << element;
        // Saved and read again, the value stays what it was.
        ConfigDocument back;
        back.Parse(doc.Serialize());
        EXPECT_EQ(*back.ReadValue("\\Global\\Protocol"), value) << doc.Serialize();
        EXPECT_EQ(back.Serialize(), doc.Serialize());
    }
}

TEST(ConfigDocument, ElementWithChildrenStartsOnALineOfItsOwn) {
    ConfigDocument doc;
    doc.Parse("<CONFIG>note <Global>  x <Protocol>6</Protocol>y<!--c--></Global>"
              "<Dtc><MilOn>no <!--hand--></MilOn></Dtc></CONFIG>");
    const std::string saved = doc.Serialize();
    EXPECT_EQ(saved,
              "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n"
              "<CONFIG>\r\n"
              "  note\r\n"
              "  <Global>\r\n"
              "    xy\r\n"
              "    <Protocol>6</Protocol>\r\n"
              "    <!--c-->\r\n"
              "  </Global>\r\n"
              "  <Dtc>\r\n"
              "    <MilOn>no <!--hand--></MilOn>\r\n"
              "  </Dtc>\r\n"
              "</CONFIG>\r\n");
    ConfigDocument back;
    back.Parse(saved);
    EXPECT_EQ(back.Serialize(), saved);
    EXPECT_EQ(*back.ReadValue("\\Global"), "xy");
    EXPECT_EQ(*back.ReadValue("\\Dtc\\MilOn"), "no ");
}

TEST(ConfigDocument, AmpersandsWithoutReferencesAreKept) {
    // A value full of "&" that never form a reference: each is kept, and the
    // search for a ";" must stay short (a search to the end of the text for
    // every "&" takes minutes on a file this size).
    const std::string many(ConfigDocument::MaxFileSize - 64, '&');
    ConfigDocument doc;
    doc.Parse("<CONFIG><D01>" + many + "</D01></CONFIG>");
    ASSERT_NE(doc.ReadValue("D01"), nullptr);
    EXPECT_EQ(*doc.ReadValue("D01"), many);

    // A ";" beyond the reach of the longest reference leaves the text alone.
    doc.Parse("<CONFIG><A>&#x0000000041;&#x000000041;&amp</A></CONFIG>");
    EXPECT_EQ(*doc.ReadValue("A"), "&#x0000000041;A&amp");
}

TEST(ConfigDocument, LookupIgnoresCaseFirstWinsAndRootMustBeExact) {
    ConfigDocument doc;
    doc.Parse("<CONFIG><global><PROTOCOL>1</PROTOCOL><Protocol>2</Protocol></global></CONFIG>");
    ASSERT_NE(doc.ReadValue("\\Global\\Protocol"), nullptr);
    EXPECT_EQ(*doc.ReadValue("\\\\Global\\\\protocol\\"), "1");
    EXPECT_EQ(doc.ReadValue("\\Global\\Missing"), nullptr);

    doc.Parse("<config><Version>1</Version></config>");
    EXPECT_EQ(doc.ReadValue("Version"), nullptr);
    // What is written into such a file must be readable again.
    doc.WriteValue("Version", "2");
    ConfigDocument back;
    back.Parse(doc.Serialize());
    ASSERT_NE(back.ReadValue("Version"), nullptr);
    EXPECT_EQ(*back.ReadValue("Version"), "2");
}

TEST(ConfigDocument, KeepsPrologCommentsUnknownElementsAndPlaces) {
    const std::string file =
        "\xEF\xBB\xBF<!-- made by hand -->\r\n"
        "<?xml-stylesheet type=\"text/xsl\" href=\"a.xsl\"?>\n"
        "<?xml version='1.0' standalone=\"yes\"?>\n"
        "<!DOCTYPE CONFIG [ <!ENTITY x \"]>\"> ]>\n"
        "<CONFIG kind=\"test\">\n"
        "  <!-- note below -->\n"
        "  <Note>keep me</Note>\n"
        "  <Global><EcuCount>1</EcuCount></Global>\n"
        "</CONFIG>\n<!-- tail -->\n";
    ConfigDocument doc;
    doc.Parse(file);
    doc.WriteValue("\\Global\\Protocol", "3");
    doc.WriteValue("\\Global\\EcuCount", "2");
    EXPECT_EQ(doc.Serialize(),
              "<?xml version=\"1.0\" standalone=\"yes\"?>\r\n"
              "<!-- made by hand -->\r\n"
              "<?xml-stylesheet type=\"text/xsl\" href=\"a.xsl\"?>\r\n"
              "<!DOCTYPE CONFIG [ <!ENTITY x \"]>\"> ]>\r\n"
              "<CONFIG kind=\"test\">\r\n"
              "  <!-- note below -->\r\n"
              "  <Note>keep me</Note>\r\n"
              "  <Global>\r\n"
              "    <EcuCount>2</EcuCount>\r\n"
              "    <Protocol>3</Protocol>\r\n"
              "  </Global>\r\n"
              "</CONFIG>\r\n"
              "<!-- tail -->\r\n");
}

// Strict XML readers refuse a declaration anywhere but at the very start.
TEST(ConfigDocument, FileWithoutDeclarationGetsOneFirst) {
    ConfigDocument doc;
    doc.Parse("<!--x--><CONFIG/>");
    EXPECT_EQ(doc.Serialize(), "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<!--x-->\r\n<CONFIG/>\r\n");
}

struct BadFile {
    const char* data;
    const char* message;
};

TEST(ConfigDocument, ReaderErrorsNameTheFault) {
    const BadFile cases[] = {
        {"junk<CONFIG/>", "Invalid Document: Unexpected text in file prolog"},
        {"<!ELEMENT x><CONFIG/>", "Invalid Document: Unexpected text in file prolog"},
        {"<CONFIG/>x", "Invalid XML Element: Expected beginning of tag but \"x\" found"},
        {"<CONFIG/><CONFIG/>", "Invalid Document: Unexpected text after the root element"},
        {"<CONFIG/x>", "Invalid XML Element: Expected end of tag but \"x\" found"},
        {"<CONFIG><A>1</A x></CONFIG>", "Invalid XML Element: Expected end of tag but \"x\" found"},
        {"<CONFIG", "Invalid XML Element: Expected end of tag but \"\" found"},
        {"<CONFIG><></CONFIG>", "Invalid XML Element: malformed tag found (no valid name)"},
        {"< CONFIG/>", "Invalid XML Element: malformed tag found (no valid name)"},
        {"<CONFIG><?pi?></CONFIG>", "Invalid XML Element: malformed tag found (no valid name)"},
        {"<CONFIG><A>1</B></CONFIG>", "Invalid XML Element: Erroneous end of tag, expecting </A> but </B> found"},
        {"<CONFIG><A>1</a></CONFIG>", "Invalid XML Element: Erroneous end of tag, expecting </A> but </a> found"},
        {"<CONFIG><A>1</A>", "Invalid XML Element: Erroneous end of tag, expecting </CONFIG> but </> found"},
        {"<CONFIG a b></CONFIG>", "Invalid XML Element: Unexpected character in property declaration (\"b\" found)"},
        {"<CONFIG a=1></CONFIG>",
         "Invalid XML Element: Unexpected character in property declaration. Expecting \" or ' but \"1\"  found"},
        {"<?xml version=\"1.0\"><CONFIG/>", "Invalid Header: expected \"?>\" but found \"><\""},
        {"<?xnl version=\"1.0\"?><CONFIG/>", "Invalid Header: expected \"<?xml\" but found \"<?xnl\""},
        {"<!-x-><CONFIG/>", "Invalid Comment: expected \"<!--\" but found \"<!-x\""},
        {"<!-- a -- b --><CONFIG/>", "Invalid Comment: \"--\" not allowed inside comments"},
        {"<CONFIG><!-- never closed", "Invalid Comment: Unexpected end of data"},
        {"<CONFIG><![CDAT[x]]></CONFIG>", "Invalid CDATA: expected \"<![CDATA[\" but found \"<![CDAT[x\""},
        {"<CONFIG><![CDATA[x</CONFIG>", "Invalid CDATA: Unexpected end of data"},
        {"<?xml-stylesheat a=\"b\"?><CONFIG/>",
         "Invalid Stylesheet: expected \"<?xml-stylesheet\" but found \"<?xml-stylesheat\""},
        {"<?xml-stylesheet type=\"text/xsl\"", "Invalid Stylesheet: Unexpected end of data"},
        {"<!DOCTYPE CONFIG [ <!ENTITY x \">\"> ", "Invalid DocType: Unexpected end of data"},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseError(c.data), c.message) << c.data;
}

TEST(ConfigDocument, RefusesDeepNestingAndOversizedFiles) {
    std::string deep;
    for (int i = 0; i < 100000; ++i) deep += "<a>";
    EXPECT_EQ(ParseError(deep), "Invalid XML Element: Nesting deeper than 64 levels");

    std::string ok = "<CONFIG>";
    for (int i = 1; i < ConfigDocument::MaxDepth; ++i) ok += "<a>";
    for (int i = 1; i < ConfigDocument::MaxDepth; ++i) ok += "</a>";
    ok += "</CONFIG>";
    EXPECT_EQ(ParseError(ok), "(no error)");

    std::string big = "<CONFIG><A>" + std::string(ConfigDocument::MaxFileSize, 'x') + "</A></CONFIG>";
    EXPECT_EQ(ParseError(big), "Invalid Document: File too large (more than 1048576 bytes)");
}

TEST(ConfigDocument, FailedReadKeepsWhatCameBeforeAndStaysWritable) {
    ConfigDocument doc;
    EXPECT_THROW(doc.Parse("<CONFIG><Version>7</Version><Global><Protocol>3</Protocol><>"), EFailure);
    ASSERT_NE(doc.ReadValue("\\Global\\Protocol"), nullptr);
    EXPECT_EQ(*doc.ReadValue("Version"), "7");
    ConfigDocument back;
    EXPECT_NO_THROW(back.Parse(doc.Serialize()));
}

TEST(ConfigDocument, EmptyFileHoldsNoValues) {
    ConfigDocument doc;
    doc.Parse(" \r\n\t");
    EXPECT_EQ(doc.ReadValue("Version"), nullptr);
    EXPECT_EQ(doc.Root().Name(), "CONFIG");
}
