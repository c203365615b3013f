#pragma once

#include <string>

class QComboBox;

namespace korvalt {

// The eight filter lists of the main window: filling them from the Pipe
// table, turning their texts into a statement, and deleting one model file.
class clsComboHandler {
public:
    // Clears and refills the eight lists.
    void FillComboBox();
    // True when the criteria are compared exactly, false when one of the
    // inspected lists holds the '*' wildcard.
    bool GetSearchType();
    // Appends the criteria of every list not showing "All" to the base
    // statement in sNewSql (and the sort order for the plain search), stores
    // the result back in sNewSql and returns it.
    std::string CreateSql(std::string& sNewSql);
    // Deletes every record of one model file, after the user confirms.
    void DeleteRecord(std::string& sFilename);

private:
    void FillDrawingList();
    void FillSpecList();
    void FillShortDescList();
    void FillLongDescList();
    void FillTagList();
    void FillPartCodeList();
    void FillLineNumList();
    void FillSizeList();

    struct Filler;
    void fill(const Filler& filler);
};

} // namespace korvalt
