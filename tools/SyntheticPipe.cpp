#include "SyntheticPipe.h"

#include "database/PipeSchema.h"

#include <sqlite3.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <stdexcept>
#include <vector>

namespace korvalt {

namespace {

struct CloseDb {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct Finalize {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};

void exec(sqlite3* db, const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        throw std::runtime_error(sqlite3_errmsg(db));
    }
}

constexpr std::array<const char*, 12> kComponents = {
    "Pipe A106-B SCH 40", "Elbow 90 LR A234 WPB", "Tee Equal A234 WPB", "Gate Valve A105",
    "Globe Valve A105",   "Check Valve A105",     "Flange WN A105",     "Gasket Spiral Wound",
    "Stud Bolt A193 B7",  "Reducer Concentric",   "Cap A234 WPB",       "Control Valve Globe"};
constexpr std::array<const char*, 12> kShort = {
    "PIPE",   "ELBOW",  "TEE",  "GATE VALVE", "GLOBE VALVE", "CHECK VALVE",
    "FLANGE", "GASKET", "BOLT", "REDUCER",    "CAP",         "control valve"};
constexpr std::array<const char*, 8> kPrefixes = {"P-", "V-", "HV-", "FV-", "T-", "F-", "G-", "E-"};

struct Size {
    std::string text;
    double nominal;
};

std::vector<Size> sizes() {
    const double nominal[] = {0.5, 0.75, 1,  1.25, 1.5, 2,  2.5, 3,  3.5, 4,  5,  6,  8,  10, 12,
                              14,  16,   18, 20,   22,  24, 26,  28, 30,  32, 34, 36, 40, 42, 48};
    std::vector<Size> out;
    for (double n : nominal) {
        std::string text = std::to_string(n);
        text.erase(text.find_last_not_of('0') + 1);
        if (text.back() == '.') {
            text.pop_back();
        }
        out.push_back({text, n});
    }
    return out;
}

// A value lacking its content, in one of the three forms the checks tell
// apart: Null, empty text, blank text.
std::optional<std::string> lacking(std::mt19937& rng) {
    switch (std::uniform_int_distribution<int>(0, 2)(rng)) {
    case 0:
        return std::nullopt;
    case 1:
        return std::string();
    default:
        return std::string("   ");
    }
}

} // namespace

void SyntheticPipe::write(const std::string& path, int records, std::uint32_t seed) {
    std::filesystem::remove(path);
    sqlite3* raw = nullptr;
    if (sqlite3_open(path.c_str(), &raw) != SQLITE_OK) {
        sqlite3_close(raw);
        throw std::runtime_error("cannot create " + path);
    }
    const std::unique_ptr<sqlite3, CloseDb> db(raw);
    exec(db.get(), pipe_schema::kCreatePipeTable);
    exec(db.get(), "BEGIN");
    sqlite3_stmt* rawStatement = nullptr;
    if (sqlite3_prepare_v2(db.get(), "INSERT INTO Pipe VALUES (?,?,?,?,?,?,?,?,?,?,?,?)", -1,
                           &rawStatement, nullptr) != SQLITE_OK) {
        throw std::runtime_error(sqlite3_errmsg(db.get()));
    }
    const std::unique_ptr<sqlite3_stmt, Finalize> insert(rawStatement);

    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> drawing(1, 300);
    std::uniform_int_distribution<int> spec(1, 40);
    const std::vector<Size> sizeTable = sizes();
    std::uniform_int_distribution<std::size_t> size(0, sizeTable.size() - 1);
    std::uniform_int_distribution<std::size_t> component(0, kComponents.size() - 1);
    std::uniform_int_distribution<std::size_t> prefix(0, kPrefixes.size() - 1);
    std::uniform_int_distribution<int> percent(0, 99);
    std::uniform_real_distribution<double> length(0.0, 6000.0);

    std::vector<std::string> earlierTags;
    auto bindText = [&](int index, const std::optional<std::string>& text) {
        if (text) {
            sqlite3_bind_text(insert.get(), index, text->c_str(), static_cast<int>(text->size()),
                              SQLITE_TRANSIENT);
        } else {
            sqlite3_bind_null(insert.get(), index);
        }
    };

    for (int r = 0; r < records; ++r) {
        const std::string specName = "SP" + std::to_string(spec(rng) * 25);
        const Size& s = sizeTable[size(rng)];
        const std::size_t c = component(rng);

        std::optional<std::string> line =
            s.text + "\"-P-" + std::to_string(1000 + r / 40) + "-" + specName;
        if (percent(rng) < 3) {
            line = lacking(rng);
        }

        std::optional<std::string> tag;
        const int kind = percent(rng);
        if (kind < 5) {
            tag = lacking(rng);
        } else if (kind < 9 && !earlierTags.empty()) {
            // The same tag again.
            tag = earlierTags[std::uniform_int_distribution<std::size_t>(0, earlierTags.size() -
                                                                                1)(rng)];
        } else if (kind < 12 && !earlierTags.empty()) {
            // A tag that an earlier one begins.
            tag = earlierTags.back() + std::to_string(kind);
        } else if (kind < 14 && !earlierTags.empty()) {
            // An earlier tag in other letter case.
            std::string other = earlierTags.back();
            for (char& ch : other) {
                if (ch >= 'A' && ch <= 'Z') {
                    ch = static_cast<char>(ch - 'A' + 'a');
                }
            }
            tag = other;
        } else {
            tag = kPrefixes[prefix(rng)] + std::to_string(100000 + r);
        }
        if (tag && !tag->empty() && tag->front() != ' ') {
            earlierTags.push_back(*tag);
        }

        const double main = s.nominal;
        const double reduced = c == 9 ? sizeTable[size(rng)].nominal : 0.0;
        bindText(1, "AREA-" + std::to_string(drawing(rng)) + ".dwg");
        bindText(2, std::string(kComponents[c]));
        bindText(3, line);
        bindText(4, specName);
        bindText(5, "DB" + std::to_string(c * 100 + s.text.size()));
        bindText(6, s.text);
        sqlite3_bind_double(insert.get(), 7, main);
        sqlite3_bind_double(insert.get(), 8, reduced);
        bindText(9, tag);
        sqlite3_bind_double(insert.get(), 10, c == 0 ? std::round(length(rng) * 4) / 4 : 0.0);
        bindText(11, std::string(kShort[c]));
        sqlite3_bind_int64(insert.get(), 12, r + 1);
        if (sqlite3_step(insert.get()) != SQLITE_DONE) {
            throw std::runtime_error(sqlite3_errmsg(db.get()));
        }
        sqlite3_reset(insert.get());
    }
    exec(db.get(), "COMMIT");
}

} // namespace korvalt
