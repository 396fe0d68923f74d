// The viewer's command, control and menu identifiers, as named constants in one place. Each
// action and widget that carries one also gets it as its objectName (ObjectNameOf) so that tests
// find them. Header-only, no state.
#pragma once

#include <QString>

namespace ViewerIds {

// Commands of the main dialog's menu and accelerators.
inline constexpr int IdFileOpen = 57601;
inline constexpr int IdFileClose = 57602;
inline constexpr int IdAppExit = 57665;
inline constexpr int IdEditFind = 57636;
inline constexpr int IdEditCopy = 57634;
inline constexpr int IdToolOption = 32781;
inline constexpr int IdAppAbout = 32773;
inline constexpr int IdSysAbout = 16;

// Dialog commands.
inline constexpr int IdOk = 1;
inline constexpr int IdCancel = 2;

// Controls.
inline constexpr int IdcFileTree = 1001;
inline constexpr int IdcCloseButton = 1002;
inline constexpr int IdcFindText = 1003;
inline constexpr int IdcLoadProgress = 1004;
inline constexpr int IdcFindUpward = 1005;
inline constexpr int IdcChooseFont = 1007;
inline constexpr int IdcPropList = 1009;
inline constexpr int IdcInfoViewPlaceholder = 1010;
inline constexpr int IdcMainViewPlaceholder = 1011;
inline constexpr int IdcViewWndPlaceholder = 1012;
inline constexpr int IdcViewWnd = 103;
inline constexpr int IdcLogView1 = 104;
inline constexpr int IdcLogView2 = 105;
inline constexpr int IdcThreadList = 106;
inline constexpr int IdcMethodList = 107;
inline constexpr int IdcLogViewHeader = 1002;
inline constexpr int IdcTabStrip = 59649;
inline constexpr int IdcTimeLine = 59650;

// Commands of the log view and the view window.
inline constexpr int IdHighlightThread = 102;
inline constexpr int IdHideThread = 32781;

// The objectName given to the action or widget with the identifier id: "id<number>".
inline QString ObjectNameOf(int id)
{
    return QStringLiteral("id%1").arg(id);
}

} // namespace ViewerIds
