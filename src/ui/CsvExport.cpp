#include "ui/CsvExport.h"

#include "database/EngineError.h"
#include "ui/ResultsListView.h"

#include <QByteArray>
#include <QSaveFile>
#include <QString>

#include <cstring>
#include <map>
#include <ostream>

namespace korvalt {

namespace {
constexpr const char* kCrLf = "\r\n";
// The text is handed to the file in pieces of about this size.
constexpr std::size_t kPieceBytes = std::size_t{1} << 20;

const std::vector<const char*>& searchHeadings() {
    static const std::vector<const char*> columns = {"Drawing Name",
                                                     "Long Description",
                                                     "Line Number",
                                                     "Specification",
                                                     "Part Code",
                                                     "Size",
                                                     "Main",
                                                     "Red",
                                                     "Tag",
                                                     "Length",
                                                     "Short Description"};
    return columns;
}

void appendQuoted(std::string& out, std::string_view value) {
    out += '"';
    while (!value.empty()) { // an empty value may have no bytes at all
        const auto* quote = static_cast<const char*>(std::memchr(value.data(), '"', value.size()));
        if (quote == nullptr)
            break;
        const auto upTo = static_cast<std::size_t>(quote - value.data()) + 1;
        out.append(value.data(), upTo);
        out += '"';
        value.remove_prefix(upTo);
    }
    out.append(value);
    out += '"';
}

[[noreturn]] void failWriting(QSaveFile& file, const std::string& path, const QString& why) {
    file.cancelWriting();
    throw EngineError(75, "Path/File access error: '" + path + "' could not be written (" +
                              why.toStdString() + ").");
}

// Opens, fills through `fill` and commits the file, or throws.
void saveFile(const std::string& path, const std::function<void(QSaveFile&)>& fill) {
    QSaveFile file(QString::fromStdString(path));
    // A folder may let the user overwrite a file in it but not create the
    // temporary file beside it (a shared report folder). Then, and only then,
    // the file is written in place: a failure part-way leaves what was
    // written so far, as a plain write would.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        failWriting(file, path, file.errorString());
    fill(file);
    // The writes may only have filled the file's buffer. A write of the
    // buffer that fails part-way (a full disk) is not seen by commit(), which
    // would then put the truncated file in place of the old one.
    if (!file.flush())
        failWriting(file, path, file.errorString());
    if (!file.commit())
        failWriting(file, path, file.errorString());
}

void writePiece(QSaveFile& file, const std::string& path, std::string_view piece) {
    const auto size = static_cast<qint64>(piece.size());
    if (file.write(piece.data(), size) != size)
        failWriting(file, path, file.errorString());
}
} // namespace

const std::vector<const char*>& CsvExport::headings(std::int16_t layout) {
    static const std::map<std::int16_t, std::vector<const char*>> table = {
        {7, {"Drawing", "Description", "Line Number", "Size", "Tag"}},
        {21, {"Drawing", "Description", "Line Number", "Size", "Tag"}},
        {11,
         {"Model Tag", "Drawing", "Line Number", "Long Description", "Short Description", "Size"}},
        {20, {"Line Number"}},
        {22, {"Drawing Number"}},
    };
    const auto found = table.find(layout);
    // Layouts 1 and 18 show the same eleven columns.
    return found != table.end() ? found->second : searchHeadings();
}

void CsvExport::stream(const std::string& title, std::int16_t layout, int rowCount,
                       const RowSource& row, const Sink& sink) {
    const std::vector<const char*>& columns = headings(layout);
    std::string text;
    text.reserve(kPieceBytes + 4096);
    appendQuoted(text, title);
    text += kCrLf;
    text += "\"\"";
    text += kCrLf;
    for (std::size_t c = 0; c < columns.size(); ++c) {
        if (c)
            text += ',';
        appendQuoted(text, columns[c]);
    }
    text += kCrLf;
    std::vector<std::string_view> cells;
    for (int position = 0; position < rowCount; ++position) {
        row(position, cells);
        for (std::size_t c = 0; c < columns.size(); ++c) {
            if (c)
                text += ',';
            appendQuoted(text, c < cells.size() ? cells[c] : std::string_view());
        }
        text += kCrLf;
        if (text.size() >= kPieceBytes) {
            sink(text);
            text.clear();
        }
    }
    if (!text.empty())
        sink(text);
}

void CsvExport::writeList(const std::string& path, const std::string& title, std::int16_t layout,
                          const ResultsListView& list) {
    saveFile(path, [&](QSaveFile& file) {
        stream(
            title, layout, list.count(),
            [&](int position, std::vector<std::string_view>& cells) {
                list.rowTexts(position, cells);
            },
            [&](std::string_view piece) { writePiece(file, path, piece); });
    });
}

void CsvExport::writeList(std::ostream& out, const std::string& title, std::int16_t layout,
                          const ResultsListView& list) {
    stream(
        title, layout, list.count(),
        [&](int position, std::vector<std::string_view>& cells) { list.rowTexts(position, cells); },
        [&](std::string_view piece) {
            out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
        });
    out.flush();
}

} // namespace korvalt
