// CKivLogViewWnd: the current file and a plain painted summary of it.
#include "CKivLogViewWnd.h"

#include "CKivLogFile.h"
#include "ViewerIds.h"

#include "KivObject/ComPtr.h"

#include <QPainter>

using Kiv::CComPtr;

namespace {

// The window's own name, which its text keeps until a file becomes current.
constexpr auto WindowName = "KivLogViewCtrl";

// The number of threads in the file's model; 0 when there is no model.
LONG CountThreads(CKivLogFile* file)
{
    IKivLogSysMgr* engine = file->GetLogSysMgr();
    CComPtr<IKivLogSysRoot> root;
    if (engine == nullptr || FAILED(engine->GetRootObject(&root))) {
        return 0;
    }
    CComPtr<Kiv::IKivListItem> threads;
    LONG count = 0;
    if (FAILED(root->QueryInterface(IID_PPV_ARGS(&threads))) || FAILED(threads->GetChildCount(&count))) {
        return 0;
    }
    return count;
}

} // namespace

CKivLogViewWnd::CKivLogViewWnd(QWidget* parent) : QWidget(parent), m_font(ToQFont(LOGFONTW{}))
{
    setObjectName(ViewerIds::ObjectNameOf(ViewerIds::IdcViewWnd));
    setWindowTitle(QString::fromLatin1(WindowName));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);
}

void CKivLogViewWnd::SelectFile(CKivLogFile* file)
{
    if (file == m_file) {
        return;
    }
    m_file = file;
    if (m_file != nullptr) {
        setWindowTitle(m_file->GetName());
        m_threadCount = CountThreads(m_file);
    } else {
        m_threadCount = 0;
    }
    update();
}

void CKivLogViewWnd::ApplyFont(const LOGFONTW& font)
{
    m_font = ToQFont(font);
    update();
}

void CKivLogViewWnd::SelectBlockRange(IKivLogSysBlock*)
{
}

void CKivLogViewWnd::paintEvent(QPaintEvent*)
{
    if (m_file == nullptr) {
        return;
    }
    QPainter painter(this);
    painter.setFont(m_font);
    const int lineHeight = painter.fontMetrics().lineSpacing();
    const int margin = lineHeight / 2;
    const QStringList lines{m_file->GetName(), m_file->GetPath(),
                            QStringLiteral("スレッド数: %1").arg(m_threadCount)};
    int y = margin;
    for (const QString& line : lines) {
        painter.drawText(QRect(margin, y, width() - 2 * margin, lineHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         painter.fontMetrics().elidedText(line, Qt::ElideMiddle, width() - 2 * margin));
        y += lineHeight;
    }
}
