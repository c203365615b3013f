#include "results/DuplicateTagReference.h"

#include "database/Database.h"
#include "database/clsDatabaseControl.h"
#include "results/ListSnapshot.h"
#include "results/clsDataHandler.h"
#include "startup/Module1.h"
#include "support/PipeCsv.h"
#include "support/ProcessFixture.h"
#include "ui/ResultsListView.h"

#include <random>

namespace korvalt::testing {
namespace {

// Tags chosen to meet in every way the check can tell apart: case, prefixes,
// trailing and leading spaces, blanks, Null, the LIKE wildcards, an
// apostrophe, letters outside ASCII (Kelvin sign, sharp s, Ø/ø, Greek
// final sigma) and a byte that is not UTF-8.
const std::vector<std::optional<std::string>>& tagPool() {
    static const std::vector<std::optional<std::string>> pool = {
        "P-1",
        "p-1",
        "P-1",
        "P-10",
        "P-2",
        "P",
        "p",
        "V-10",
        "V-101",
        "v-10",
        "HV-7 ",
        "HV-7",
        " HV-7",
        "",
        "   ",
        std::nullopt,
        "X#1",
        "X1",
        "X#",
        "X[2]",
        "X2",
        "X[",
        "A?",
        "AB",
        "B*",
        "B",
        "BB",
        "O'B",
        "O",
        "[!a]",
        "K",
        "\xE2\x84\xAA",
        "k1",
        "\xC3\x98"
        "5",
        "\xC3\xB8"
        "50",
        "\xC3\x9F",
        "\xE1\xBA\x9E",
        "\xCF\x82",
        "\xCF\x83",
        "Q\xC3",
        "Q",
        "All",
        "all",
        "Z-9 ",
        "z-9",
        "]",
    };
    return pool;
}

const char* const kFilters[] = {
    "",
    " WHERE DWG_NAME = 'A.dwg'",
    " WHERE SPEC_FILE = 'cs150'",
    " WHERE Tag LIKE 'P*'",
    " WHERE LINE_NUM = 'L-2' AND DWG_NAME = 'B.dwg'",
    " WHERE SHORT_DESC LIKE '*val*'",
};
const char* const kOrders[] = {
    "",
    " ORDER BY Dwg_name ASC, long_Desc ASC, alpha_size ASC",
    " ORDER BY UNIQUE_ID DESC",
};

class DuplicateTagEquivalenceTest : public ProcessFixture {
protected:
    // A random Pipe table of a few dozen records.
    std::string makeTable(std::mt19937& rng, bool sharedIds) {
        const auto& pool = tagPool();
        std::uniform_int_distribution<std::size_t> pickTag(0, pool.size() - 1);
        std::uniform_int_distribution<int> pick3(0, 2);
        std::uniform_int_distribution<int> records(0, 40);
        const int n = records(rng);
        std::vector<std::vector<Value>> rows;
        for (int r = 0; r < n; ++r) {
            std::vector<Value> row(test_support::pipeCsvColumns().size(), Value::null());
            row[0] = Value::text(std::string(1, static_cast<char>('A' + pick3(rng))) + ".dwg");
            row[1] = Value::text("Desc " + std::to_string(pick3(rng)));
            row[2] = Value::text("L-" + std::to_string(pick3(rng)));
            row[3] = Value::text(pick3(rng) == 0 ? "CS150" : "SS300");
            row[5] = Value::text(std::to_string(pick3(rng) + 1));
            const auto& tag = pool[pickTag(rng)];
            row[8] = tag ? Value::text(*tag) : Value::null();
            row[10] = Value::text(pick3(rng) == 0 ? "control valve" : "PIPE");
            // Identifiers beyond 16 bits, and sometimes shared ones, which the
            // check keys its rows by.
            std::int64_t id = 70000 + r * 3;
            if (sharedIds && pick3(rng) == 0) {
                id = 70000 + pick3(rng);
            }
            row[11] = Value::integer(id);
            rows.push_back(std::move(row));
        }
        const std::string path = tempPath("random.db");
        test_support::writePipeSqlite(path, rows);
        return path;
    }
};

TEST_F(DuplicateTagEquivalenceTest, SameRowsAndMessagesAsOneQueryPerRecord) {
    int listedSomething = 0;
    int sawMessages = 0;
    for (unsigned seed = 1; seed <= 60; ++seed) {
        std::mt19937 rng(seed);
        std::uniform_int_distribution<std::size_t> pickFilter(0, std::size(kFilters) - 1);
        std::uniform_int_distribution<std::size_t> pickOrder(0, std::size(kOrders) - 1);
        gDatabase = OpenDatabase(makeTable(rng, seed % 3 == 0));
        gDatabaseOpen = true;
        std::string sql =
            std::string("SELECT * FROM PIPE") + kFilters[pickFilter(rng)] + kOrders[pickOrder(rng)];
        const bool seeded = seed % 5 == 0;

        ResultsListView expectedList;
        if (seeded) {
            expectedList.setTag(expectedList.addItem("kept"), 70003);
        }
        fake.messages.clear();
        {
            const auto gateway = std::make_shared<clsDatabaseControl>();
            gDatabaseControl = gateway;
            std::string query = sql;
            auto records = gateway->GetRecordset(query);
            ASSERT_TRUE(records) << sql;
            DuplicateTagReference::write(expectedList, records);
            gDatabaseControl.reset();
        }
        const auto expectedMessages = fake.messages;

        ResultsListView actualList;
        if (seeded) {
            actualList.setTag(actualList.addItem("kept"), 70003);
        }
        fake.messages.clear();
        std::int16_t mode = 11;
        clsDataHandler(actualList).SendToDatabase(sql, mode);

        const auto expected = snapshot(expectedList, 5);
        EXPECT_EQ(snapshot(actualList, 5), expected) << "seed " << seed << ": " << sql;
        ASSERT_EQ(fake.messages.size(), expectedMessages.size()) << "seed " << seed;
        for (std::size_t m = 0; m < expectedMessages.size(); ++m) {
            EXPECT_EQ(fake.messages[m].text, expectedMessages[m].text) << "seed " << seed;
        }
        listedSomething += expected.size() > (seeded ? 1u : 0u) ? 1 : 0;
        sawMessages += expectedMessages.empty() ? 0 : 1;
    }
    // The seeds must exercise both listing and the gateway's reports.
    EXPECT_GT(listedSomething, 20);
    EXPECT_GT(sawMessages, 5);
}

} // namespace
} // namespace korvalt::testing
