#include "SystemPaths.h"

#include "KivPlatform/ModulePath.h"

#include <QByteArray>
#include <QUrl>

QString PathFromSystemBytes(const char* bytes)
{
    return QString::fromStdU16String(Kiv::Platform::FromSystemPath(bytes));
}

QString PathFromLocalFileUrl(const QUrl& url)
{
    if (!url.isLocalFile()) {
        return {};
    }
    // QUrl decodes percent-escaped bytes as UTF-8 and replaces what is not; the encoded path
    // still holds the exact bytes of the name.
    const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    return PathFromSystemBytes(bytes.constData());
}
