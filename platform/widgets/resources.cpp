// SPDX-License-Identifier: MIT
// The string table and icons, read from the program's Qt resources.
#include "platform/widgets/resources.h"

#include <QFile>
#include <QHash>
#include <QMutex>
#include <QXmlStreamReader>

namespace platform {

namespace {

QMutex g_stringsMutex;
bool g_stringsLoaded = false;
QHash<UINT, QString> g_strings;

// The table is <strings><string id="101">text</string>...</strings>; CR LF pairs are kept.
void loadStrings() {
    g_strings.clear();
    QFile file(stringTablePath());
    if (!file.open(QIODevice::ReadOnly)) return;
    QXmlStreamReader xml(&file);
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("strings")) continue;
        if (xml.name() == QLatin1String("string")) {
            bool ok = false;
            const UINT id = xml.attributes().value(QLatin1String("id")).toUInt(&ok);
            const QString text = xml.readElementText();
            if (ok) g_strings.insert(id, text);
        } else {
            xml.skipCurrentElement();
        }
    }
}

} // namespace

QString stringTablePath() { return QStringLiteral(":/brimvale/strings.xml"); }
QString iconPath(UINT id) { return QStringLiteral(":/brimvale/icons/%1.png").arg(id); }
QString menuPath(UINT id) { return QStringLiteral(":/brimvale/menus/%1.xml").arg(id); }

QString LoadStringResource(UINT id) {
    QMutexLocker lock(&g_stringsMutex);
    if (!g_stringsLoaded) {
        loadStrings();
        g_stringsLoaded = true;
    }
    return g_strings.value(id);
}

QIcon LoadIconResource(UINT id) {
    const QString path = iconPath(id);
    return QFile::exists(path) ? QIcon(path) : QIcon();
}

void resetStringTable() {
    QMutexLocker lock(&g_stringsMutex);
    g_stringsLoaded = false;
    g_strings.clear();
}

} // namespace platform

QCursor LoadCursorA(void* /*hInstance*/, UINT_PTR cursorId) {
    return cursorId == IDC_HAND ? QCursor(Qt::PointingHandCursor) : QCursor(Qt::ArrowCursor);
}
