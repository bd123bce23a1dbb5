// The "Export Response List" command: asks for the layout and a file name, writes
// the rows and tells the user how it went.
#pragma once

#include <vector>

#include "export/ResponseListWriter.h"

class QWidget;

namespace orvane {

class ResponseStore;

// Messages the command shows.
inline constexpr const char kExportFailedMessage[] = "Response list export failed.";
inline constexpr const char kExportSucceededMessage[] = "Response list exported successfully.";

// Runs the options dialog and the save-file dialog owned by |parent|, then writes
// |rows| in order. Cancelling either dialog does nothing and shows nothing. True
// when the file was written completely (an existing file of that name is replaced);
// a file that could not be written, whether at opening or part way, leaves any
// earlier file of that name as it was and shows the failure message.
bool ExportResponseList(QWidget* parent, const std::vector<ExportRow>& rows);

// The rows of |store| as the export writes them: the command as sent, the reply's bytes,
// when it was sent, the ms to its end and how it ended ("unsolicited (silence)" for a
// row of unsolicited data).
std::vector<ExportRow> ExportRowsOf(const ResponseStore& store);

}  // namespace orvane
