#include "SubtitleDocument.h"

DocumentKind KindOfPath(const QString& path) {
    if (path.isEmpty()) {
        return DocumentKind::None;
    }
    if (path.endsWith(QStringLiteral(".lrc"), Qt::CaseInsensitive)) {
        return DocumentKind::Lyric;
    }
    if (path.endsWith(QStringLiteral(".txt"), Qt::CaseInsensitive)) {
        return DocumentKind::PlainText;
    }
    if (IsSurtitlePath(path)) {
        return DocumentKind::Surtitle;
    }
    return DocumentKind::Project;
}
