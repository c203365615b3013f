#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace korvalt {

class Recordset;
class ResultsListView;

// Result production: runs a report's query through the gateway and turns the
// records into rows of the results list. One object per report command; it
// keeps nothing between calls.
class clsDataHandler {
public:
    explicit clsDataHandler(ResultsListView& list);

    // Runs `sNewSql` and appends the rows of result mode `i`:
    //   1  every record, 11 columns          3  records lacking a line number
    //   7  records lacking a tag             11 records with duplicate tags
    //   18 drawing names                     19 line numbers
    // Any other mode opens the query and writes nothing. The gateway
    // variable is empty afterwards.
    void SendToDatabase(std::string& sNewSql, std::int16_t& i);

private:
    using RecordsetRef = std::unique_ptr<Recordset>;

    void WriteItemRows(RecordsetRef& records);
    void WriteNoLineNumberRows(RecordsetRef& records);
    void WriteNoTagRows(RecordsetRef& records);
    void WriteDuplicateTagRows(RecordsetRef& records);
    void WriteDrawingRows(RecordsetRef& records);
    void WriteLineNumberRows(RecordsetRef& records);

    // Rows of modes 3 and 7, which differ only in the field tested.
    void WriteBlankFieldRows(RecordsetRef& records, const char* testedField);
    // Rows of modes 18 and 19: one field in the first column.
    void WriteSingleFieldRows(RecordsetRef& records, const char* field);

    ResultsListView& m_list;
};

} // namespace korvalt
