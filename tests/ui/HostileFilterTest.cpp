#include "startup/Module1.h"
#include "support/MainWindowFixture.h"
#include "ui/ResultsListView.h"
#include "ui/frmTaviDatabase.h"

#include <QComboBox>
#include <QPushButton>

namespace korvalt::testing {
namespace {

// Whatever a user types into a filter list, the search either lists rows or
// reports one error through the gateway; it never crashes or hangs.
class HostileFilterTest : public MainWindowFixture {
protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        startOn(databasePath);
        fake.messages.clear();
    }
};

TEST_F(HostileFilterTest, EveryListTakesAnyTextSafely) {
    const QString values[] = {
        "O'BRIEN-1",
        "AREA3 \"north\".dwg",
        "[",
        "[!",
        "]",
        "[z-a]",
        "*?#",
        "?",
        "#",
        "' OR '1'='1",
        "'; DELETE FROM Pipe; --",
        "\x01\t\r\n\x7f",
        QString::fromUtf8("Ventil \xc3\x98"
                          "50 R\xc3\xbc"
                          "ckschlag"),
        QString(QChar(0)) + "x",
        QString(10000, 'A'),
        QString(5000, '*') + "b",
        "",
        " ",
    };
    frmTaviDatabase* w = window;
    QComboBox* lists[] = {w->cmbTag,  w->CmbPartCode, w->cmbDrawName, w->cmbSpec,
                          w->cmbSize, w->CmbLong,     w->cmbLineNum,  w->cmbShort};
    for (QComboBox* list : lists) {
        for (const QString& value : values) {
            for (const bool pattern : {false, true}) {
                w->cmdReset->click();
                list->setEditText(value);
                // A '*' elsewhere turns every criterion into a pattern.
                if (pattern)
                    (list == w->cmbShort ? w->CmbLong : w->cmbShort)->setEditText("*");
                fake.messages.clear();
                w->cmdSearchAll->click();
                EXPECT_LE(fake.messages.size(), 1u)
                    << list->objectName().toStdString() << " " << value.left(40).toStdString();
                if (!fake.messages.empty()) {
                    EXPECT_EQ(w->lstvResults->count(), 0);
                    EXPECT_NE(fake.messages[0].text.find(" in routine GetRecordSet "),
                              std::string::npos);
                }
                EXPECT_EQ(fake.busyDepth, 0);
            }
        }
    }
    // Nothing typed into a filter changed the data.
    w->cmdReset->click();
    w->cmdSearchAll->click();
    EXPECT_EQ(w->lstvResults->count(), 40);
}

} // namespace
} // namespace korvalt::testing
