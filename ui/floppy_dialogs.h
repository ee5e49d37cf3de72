// The dialogs of the floppy workflows that the main window does not run itself.
#pragma once

#include <QWidget>

#include "document/image_document.h"

namespace kv::ui {

// The Custom disk-format dialog, always starting from the initial texts: 1 when
// confirmed (the custom row of the session's format table then holds the
// fields), 0 when closed.
int RunCustomFormatDialog(QWidget* parent, Session& s);

}  // namespace kv::ui
