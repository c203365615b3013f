#include "query/clsListHandler.h"

#include "startup/Module1.h"
#include "ui/ResultsListView.h"
#include "ui/frmTaviDatabase.h"

namespace korvalt {

void clsListHandler::ClearList() {
    frmTaviDatabaseSlot.get().lstvResults->clearItems();
}

} // namespace korvalt
