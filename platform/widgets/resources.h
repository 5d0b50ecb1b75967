// SPDX-License-Identifier: MIT
// The program's resources, kept in the Qt resource file: string table, icons, menus and
// dialog templates, each found by its numeric id.
#pragma once

#include "platform/widgets/winuser.h"

#include <QCursor>
#include <QIcon>
#include <QString>

namespace platform {

/// Resource paths by id.
QString stringTablePath();
QString iconPath(UINT id);
QString menuPath(UINT id);

/// The string-table entry `id`, or an empty string when there is none.
QString LoadStringResource(UINT id);
/// The icon `id`, or a null icon when there is none.
QIcon LoadIconResource(UINT id);

/// Forgets the cached string table (tests that swap resources call it).
void resetStringTable();

} // namespace platform

/// A stock cursor (IDC_HAND gives the pointing hand); the instance must be null.
QCursor LoadCursorA(void* hInstance, UINT_PTR cursorId);
