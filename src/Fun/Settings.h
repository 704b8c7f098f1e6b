#pragma once

#include <QString>

// The station settings file (G().iniPath(), beside the executable or in ROLVAN_HOME).
// Every call opens the file, reads or writes one key and closes it again, so a change
// made by one window is seen at once by the next reader. Section and key names are
// matched case-blind; see IniFile for the file rules. The key names are in SettingKeys.h.

// The value of section/key:
//   1. the default value,
//   2. replaced by the stored value when the section holds the key, even with an empty value,
//   3. and when the result is empty, the empty value.
// So a key stored empty gives the empty value and a missing key the default value. A missing
// file, a file that cannot be read or a file that is not a text file reads as having no keys.
QString ReadIniSetting(const QString &section, const QString &key, const QString &emptyValue,
                       const QString &defaultValue);

// Writes one key, creating the section and the file when missing. The file is replaced as a
// whole or not at all; when it cannot be read or written, raises RolvanError naming the file.
// Writing the value a key already has leaves the file untouched.
void WriteIniSetting(const QString &section, const QString &key, const QString &value);

// The same on a file given by path.
QString ReadIniSettingAt(const QString &iniPath, const QString &section, const QString &key,
                         const QString &emptyValue, const QString &defaultValue);
void WriteIniSettingAt(const QString &iniPath, const QString &section, const QString &key,
                       const QString &value);

// Yes/no text: "True" or "False" in any letter case, or a number (false when 0, true
// otherwise); blanks around it are ignored. Anything else, an empty text included, raises
// ConversionError.
bool TextToBool(const QString &text);

// "True" or "False", the way yes/no settings are written.
QString BoolToText(bool value);

// A yes/no setting: ReadIniSetting with an empty empty-value and BoolToText(defaultValue),
// then TextToBool. A stored value that is not a yes/no text (an empty one included) raises
// ConversionError naming the section and key.
bool ReadIniBool(const QString &section, const QString &key, bool defaultValue);
