// Inputs the fuzzers found that broke a property, kept as plain tests so
// that every compiler and the sanitizer build check them.

#include "base/Failure.h"
#include "storage/ConfigDocument.h"

#include <gtest/gtest.h>

#include <string>

// A name may hold a character reference; read back, it stands for a byte
// that no name may hold (a blank, a control byte). Saved as it stands, the
// file no longer opens: the save must keep such a name readable.
TEST(FuzzFindings, ElementNamesWithReferencedBlanksOrControlBytesSurviveASave) {
    for (const std::string file : {"<CONFIG><B&#32;C>2</B&#32;C></CONFIG>", "<CONFIG><A&#30;>1</A&#30;></CONFIG>",
                                   "<CONFIG><A&#x3c;>1</A&#x3c;></CONFIG>", "<CONFIG><A&#x2f;B>1</A&#x2f;B></CONFIG>",
                                   "<CONFIG><A&#61;B x&#32;y='1'>1</A&#61;B></CONFIG>",
                                   "<CONFIG><A&#x3f;>1</A&#x3f;><B/></CONFIG>", "<CONFIG><&#x3f;A>1</&#x3f;A></CONFIG>"}) {
        SCOPED_TRACE(file);
        ConfigDocument doc;
        ASSERT_NO_THROW(doc.Parse(file));
        const std::string saved = doc.Serialize();
        ConfigDocument again;
        ASSERT_NO_THROW(again.Parse(saved)) << saved;
        EXPECT_EQ(again.Serialize(), saved);
        ASSERT_FALSE(again.Root().Children().empty());
        EXPECT_EQ(again.Root().Children()[0]->Name(), doc.Root().Children()[0]->Name());
    }
}
