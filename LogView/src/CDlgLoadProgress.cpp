// CDlgLoadProgress: template 144 ("処理中", 244 by 66 dialog units) with fixed places.
#include "CDlgLoadProgress.h"

#include "DialogUnits.h"
#include "ViewerIds.h"
#include "ViewerText.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace {

// Events carrying one number: a percentage or a command id.
class CValueEvent final : public QEvent {
public:
    CValueEvent(QEvent::Type type, int value) : QEvent(type), m_value(value) {}
    int Value() const { return m_value; }

private:
    int m_value;
};

constexpr int ProgressMaximum = 100;

} // namespace

QEvent::Type CDlgLoadProgress::ProgressEventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

QEvent::Type CDlgLoadProgress::CommandEventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void CDlgLoadProgress::PostProgress(CDlgLoadProgress* dialog, LONG percent)
{
    QCoreApplication::postEvent(dialog, new CValueEvent(ProgressEventType(), percent));
}

void CDlgLoadProgress::PostCommand(CDlgLoadProgress* dialog, int id)
{
    QCoreApplication::postEvent(dialog, new CValueEvent(CommandEventType(), id));
}

CDlgLoadProgress::CDlgLoadProgress(IKivLogSysMgr* engine, QString path, QWidget* owner)
    : QDialog(owner), m_engine(engine), m_path(std::move(path))
{
    // Registered before any worker thread can post them.
    ProgressEventType();
    CommandEventType();

    setWindowTitle(QStringLiteral("処理中"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    const CDialogUnits units(font());
    setFixedSize(units.ToPixels(244, 66));

    auto* text = new QLabel(QStringLiteral("解析中です..."), this);
    text->setGeometry(units.ToPixels(7, 9, 170, 10));
    m_cancel = new QPushButton(QStringLiteral("キャンセル"), this);
    m_cancel->setObjectName(ViewerIds::ObjectNameOf(ViewerIds::IdCancel));
    m_cancel->setGeometry(units.ToPixels(187, 7, 50, 14));
    m_cancel->setAutoDefault(false);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(ViewerIds::ObjectNameOf(ViewerIds::IdcLoadProgress));
    m_progress->setGeometry(units.ToPixels(7, 28, 230, 10));
    m_progress->setRange(0, ProgressMaximum);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    connect(m_cancel, &QPushButton::clicked, this, &CDlgLoadProgress::OnCancel);
}

CDlgLoadProgress::~CDlgLoadProgress() = default;

void CDlgLoadProgress::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_started) {
        return;
    }
    m_started = true;
    if (FAILED(m_engine->LoadLogFile(ToWide(m_path), 1))) {
        // No load runs, so no end report will come: the dialog ends as soon as its loop runs.
        QMetaObject::invokeMethod(this, [this] { done(QDialog::Rejected); }, Qt::QueuedConnection);
    }
}

bool CDlgLoadProgress::event(QEvent* event)
{
    if (event->type() == ProgressEventType()) {
        m_progress->setRange(0, ProgressMaximum);
        m_progress->setValue(static_cast<CValueEvent*>(event)->Value());
        return true;
    }
    if (event->type() == CommandEventType()) {
        if (static_cast<CValueEvent*>(event)->Value() == ViewerIds::IdOk) {
            accept();
        }
        return true;
    }
    return QDialog::event(event);
}

void CDlgLoadProgress::reject()
{
    OnCancel();
}

void CDlgLoadProgress::OnCancel()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_cancel->setEnabled(false);
    m_engine->StopLoadLog();
    QApplication::restoreOverrideCursor();
}
