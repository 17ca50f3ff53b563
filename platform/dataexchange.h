// Data exchange between a window's edits and its integer members, with the framework's rules:
// on save, the edit's first 31 characters must hold a signed decimal with optional blanks and
// tabs around it; the value is stored before its range is checked; the first failure shows
// its message, puts the focus back on the edit with its text selected and ends the exchange.
#pragma once

#include <QString>
#include <optional>

class QLineEdit;

// Parses an edit's text as the framework does; nothing when it is not an integer.
std::optional<int> ParseEditInteger(const QString& text);

inline constexpr const char* kEnterIntegerText = "Please enter an integer.";
inline constexpr const char* kEnterIntegerBetweenText =
    "Please enter an integer between %1 and %2.";

class CDataExchange {
  public:
    explicit CDataExchange(bool saveAndValidate) : m_bSaveAndValidate(saveAndValidate) {}

    // Exchanges one edit with one member; the range is checked on save only. Returns false
    // when the exchange has failed (here or at an earlier field); later fields are skipped.
    bool Int(QLineEdit* edit, int& value, int minValue, int maxValue);

    bool Failed() const { return m_bFailed; }

    const bool m_bSaveAndValidate;

  private:
    void Fail(QLineEdit* edit, const QString& message);

    bool m_bFailed = false;
};
