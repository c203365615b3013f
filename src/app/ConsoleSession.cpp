#include "app/ConsoleSession.h"

#include "startup/ErrorReport.h"
#include "startup/Module1.h"
#include "ui/ConsoleToolkit.h"
#include "startup/frmLocateData.h"
#include "ui/frmTaviDatabase.h"

#include <ostream>

namespace korvalt {

void writeEngineError(std::ostream& err, const char* program, const ErrorInfo& error) {
    err << program << ": Error " << error.number << ": "
        << ConsoleToolkit::consoleText(error.description) << '\n';
}

ConsoleSession::ConsoleSession()
    : m_database(std::move(gDatabase)), m_control(gDatabaseControl), m_open(gDatabaseOpen),
      m_found(gTableFound), m_support(gsSupportFooter), m_contact(gsContactFooter),
      m_locateLoaded(frmLocateDataSlot.loaded()), m_windowLoaded(frmTaviDatabaseSlot.loaded()) {}

ConsoleSession::~ConsoleSession() {
    if (!m_windowLoaded)
        frmTaviDatabaseSlot.unload();
    if (!m_locateLoaded)
        frmLocateDataSlot.unload();
    gDatabase = std::move(m_database);
    gDatabaseControl = m_control;
    gDatabaseOpen = m_open;
    gTableFound = m_found;
    gsSupportFooter = m_support;
    gsContactFooter = m_contact;
}

void ConsoleSession::open(const std::string& path) {
    gsSupportFooter = BuildSupportFooter();
    gsContactFooter = BuildContactFooter();
    gDatabaseControl = std::make_shared<clsDatabaseControl>();
    gDatabaseControl->setDataAddress(path);
    gDatabase.reset();
    gDatabase = OpenDatabase(path);
    gDatabaseOpen = true;
    gTableFound = true;
}

} // namespace korvalt
