#include "platform/dataexchange.h"

#include <QLineEdit>
#include <climits>
#include <cstdlib>

#include "platform/messagebox.h"

namespace {

// The edit's text as the framework reads it: at most 31 characters.
constexpr int kMaxEditChars = 31;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

std::optional<int> ParseEditInteger(const QString& text) {
    const std::string bytes = text.left(kMaxEditChars).toStdString();
    const char* p = bytes.c_str();
    while (IsBlank(*p)) ++p;
    // Only a sign or a digit may follow the blanks (strtoll would skip other white space).
    if (*p != '+' && *p != '-' && (*p < '0' || *p > '9')) return std::nullopt;
    char* end = nullptr;
    const long long parsed = std::strtoll(p, &end, 10);
    if (end == p) return std::nullopt;
    while (IsBlank(*end)) ++end;
    if (*end != '\0') return std::nullopt;
    // A number beyond 32 bits saturates, as the 32-bit conversion does.
    if (parsed > INT_MAX) return INT_MAX;
    if (parsed < INT_MIN) return INT_MIN;
    return static_cast<int>(parsed);
}

bool CDataExchange::Int(QLineEdit* edit, int& value, int minValue, int maxValue) {
    if (m_bFailed) return false;
    if (!m_bSaveAndValidate) {
        edit->setText(QString::number(value));
        return true;
    }
    const std::optional<int> parsed = ParseEditInteger(edit->text());
    if (!parsed) {
        Fail(edit, kEnterIntegerText);
        return false;
    }
    value = *parsed;
    if (value < minValue || value > maxValue) {
        Fail(edit, QString(kEnterIntegerBetweenText).arg(minValue).arg(maxValue));
        return false;
    }
    return true;
}

void CDataExchange::Fail(QLineEdit* edit, const QString& message) {
    m_bFailed = true;
    AfxMessageBox(message, MB_ICONEXCLAMATION);
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
}
