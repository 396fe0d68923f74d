// The viewer's settings file "Setting.xml": where it lives, and the display font it keeps in the
// fourteen attributes of its "Font" element (document element "KivLogSysView2"). Read and written
// through KivCommon's XML utility. Stateless; user-interface thread (the XML utility's documents
// are used by one thread at a time).
#pragma once

#include "LogFont.h"

#include "KivPlatform/Status.h"

#include <QString>

#include <string_view>

class CViewSettings {
public:
    // "Setting.xml" in programFolder when a file can be created there, else in
    // $XDG_CONFIG_HOME/KivLogView2/ (~/.config when the variable is unset or empty), which is
    // created when missing.
    static QString LocateFile(const QString& programFolder);
    // LocateFile for the folder of the running program.
    static QString DefaultFile();

    // The font kept in the file; every attribute that is missing or empty gives its default, and
    // a file that is missing or cannot be parsed gives the defaults throughout.
    static LOGFONTW ReadFont(const QString& path);
    // Writes the font into the file, keeping whatever else the file holds; the file is replaced
    // only once the whole document is written. The status of the save (failures are not shown
    // to the user).
    static HRESULT WriteFont(const QString& path, const LOGFONTW& font);

    // A setting's number: optional leading white space and sign, then the decimal digits up to
    // the first other character (none gives 0), limited to the 32-bit range.
    static LONG ParseDecimal(std::u16string_view text);
};
