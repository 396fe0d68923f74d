// The main window of the viewer: the menu, the open files, the navigation side and the view side
// divided by a splitter of fixed first width, the display font kept in "Setting.xml", and
// IKivLogViewApp for the tree, the lists and the view window. User-interface thread only.
#pragma once

#include "IKivLogViewApp.h"
#include "LogFont.h"

#include "KivCommon/KivResizePanel.h"
#include "KivObject/ComPtr.h"

#include <QMainWindow>
#include <QStringList>

#include <deque>
#include <memory>
#include <vector>

class CKivLogFile;
class CKivLogFindDlg;
class CKivLogInfoViewDlg;
class CKivLogMainViewDlg;

class CKivLogView2Dlg final : public QMainWindow, public IKivLogViewApp {
    Q_OBJECT

public:
    // Reads the display font from the settings file at settingsPath, which it writes back when
    // it is destroyed.
    explicit CKivLogView2Dlg(QString settingsPath, QWidget* parent = nullptr);
    ~CKivLogView2Dlg() override;

    HRESULT SelectLogFile(CKivLogFile* file) override;
    HRESULT ShowItemProperty(CNaviChildItemData* item) override;
    HRESULT ShowLogLine(CKivLogFile* file, const KivLogSysLineInfo* line) override;
    HRESULT SelectLogBlock(CKivLogFile* file, IKivLogSysBlock* block) override;
    LOGFONTW* GetViewFont() override { return &m_viewFont; }
    HRESULT CloseSelectedFile() override;

    // Opens the files one after the other, in the order given, each with its own modal progress
    // dialog. Files asked for while a load runs wait for their turn.
    void OpenLogFiles(const QStringList& paths);
    // Loads the file (made with its engine, not yet loaded), lists it and adds it to the tree,
    // after the files already waiting.
    void OpenLogFile(std::unique_ptr<CKivLogFile> file);

    // The open files, in the order they were opened.
    const std::vector<std::unique_ptr<CKivLogFile>>& GetFiles() const { return m_files; }
    // The area below the menu that the panel layout fills.
    QWidget* GetClientWidget() const { return m_client; }
    CKivLogInfoViewDlg* GetInfoView() const { return m_infoView; }
    CKivLogMainViewDlg* GetMainView() const { return m_mainView; }
    // The find dialog; null until the first find command.
    CKivLogFindDlg* GetFindDlg() const { return m_findDlg; }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateMenus();
    void CreateLayout();
    void OpenWaitingFiles();
    void OnFileOpen();
    void OnEditFind();
    void OnToolOption();
    void OnAppAbout();

    QString m_settingsPath;
    LOGFONTW m_viewFont;
    QWidget* m_client;
    CKivLogInfoViewDlg* m_infoView = nullptr;
    CKivLogMainViewDlg* m_mainView = nullptr;
    // Made on the first find command and kept; its window is shown again by the next one.
    CKivLogFindDlg* m_findDlg = nullptr;
    Kiv::CComPtr<Kiv::IKivResizePanelContainer> m_container;
    std::vector<std::unique_ptr<CKivLogFile>> m_files;
    // Files waiting to be loaded, and whether a load runs (its dialog's loop may take new ones).
    std::deque<std::unique_ptr<CKivLogFile>> m_waiting;
    bool m_loading = false;
};
