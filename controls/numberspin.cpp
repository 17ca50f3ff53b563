#include "controls/numberspin.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>
#include <QToolButton>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int kMaxPositions = 32767;
constexpr int kMaxPrecision = 64;

template <typename... Args>
QString Printf(const char* format, Args... args) {
    const int length = std::snprintf(nullptr, 0, format, args...);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, args...);
    text.resize(static_cast<std::size_t>(length));
    return QString::fromStdString(text);
}

double Tolerance(double reference) {
    return std::max(std::fabs(reference * 1e-9), 1e-9);
}

}  // namespace

CNumberSpin::CNumberSpin(QWidget* parent) : QWidget(parent) {
    if (const lconv* conv = std::localeconv(); conv && conv->decimal_point && *conv->decimal_point)
        m_decimalPoint = *conv->decimal_point;
    m_up = new QToolButton(this);
    m_down = new QToolButton(this);
    for (QToolButton* button : {m_up, m_down}) {
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
    }
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    connect(m_up, &QToolButton::clicked, this, [this] { Step(1); });
    connect(m_down, &QToolButton::clicked, this, [this] { Step(-1); });
}

void CNumberSpin::SetBuddy(QLineEdit* buddy) {
    if (m_buddy) m_buddy->removeEventFilter(this);
    m_buddy = buddy;
    if (m_buddy) m_buddy->installEventFilter(this);
}

void CNumberSpin::SetRangeAndStep(double minValue, double maxValue, double step) {
    m_minValue = minValue;
    m_maxValue = maxValue;
    m_step = step;
    if (step == 0.0) return;
    const double positions = std::fabs((maxValue - minValue) / step);
    m_positions = positions <= kMaxPositions ? static_cast<int>(positions) : kMaxPositions;
    m_rangeUpper = m_positions;
    SetSpinPosition(GetValue());
}

double CNumberSpin::GetValue() const {
    if (!m_buddy) return 0.0;
    return std::atof(m_buddy->text().toStdString().c_str());
}

void CNumberSpin::SetValue(double value) {
    SetValueText(value);
    SetSpinPosition(value);
}

void CNumberSpin::SetValueText(double value) {
    if (!m_buddy) return;
    m_buddy->setText(m_format.isEmpty() ? FormatValue(value)
                                        : Printf(m_format.toStdString().c_str(), value));
}

void CNumberSpin::SetSpinPosition(double value) {
    if (m_maxValue == m_minValue) return;
    int position = 0;
    if (value < m_minValue || std::isnan(value)) {
        position = 0;
    } else if (value > m_maxValue) {
        position = m_positions;
    } else {
        position =
            static_cast<int>(m_positions * (value - m_minValue) / (m_maxValue - m_minValue) + 0.5);
    }
    m_position = static_cast<std::int16_t>(position & 0xFFFF);
}

QString CNumberSpin::FormatValue(double value) const {
    if (m_precision == -1) return Printf("%g", value);
    const int precision = std::clamp(m_precision, 0, kMaxPrecision);
    const QString probe = Printf("%g", value);
    const bool exponent = probe.contains('e');
    const std::string format = Printf(exponent ? "%%.%de" : "%%.%df", precision).toStdString();
    const QString text = Printf(format.c_str(), value);
    if (!m_trimZeros) return text;
    if (!exponent) return TrimZeros(text);
    const int e = text.indexOf('e');
    return TrimZeros(text.left(e)) + text.mid(e);
}

QString CNumberSpin::TrimZeros(const QString& text) const {
    if (!text.contains(QChar(m_decimalPoint))) return text;
    QString trimmed = text;
    while (trimmed.endsWith('0')) trimmed.chop(1);
    while (trimmed.endsWith(QChar(m_decimalPoint))) trimmed.chop(1);
    return trimmed;
}

void CNumberSpin::SetFormat(const char* format) {
    static const QRegularExpression kOneFloatConversion(
        R"(^(?:[^%]|%%)*%[-+ #0]*\d*(?:\.\d*)?[eEfFgG](?:[^%]|%%)*$)");
    const QString candidate = format ? QString::fromUtf8(format) : QString();
    m_format = kOneFloatConversion.match(candidate).hasMatch() ? candidate : QString();
}

void CNumberSpin::Step(int delta) {
    const int before = m_position;
    OnDeltaPos(delta);
    emit deltaPos(before, delta);
    int after = before + delta;
    if (after > m_rangeUpper) after = m_wrap ? 0 : m_rangeUpper;
    if (after < 0) after = m_wrap ? m_rangeUpper : 0;
    m_position = after;
}

void CNumberSpin::OnDeltaPos(int delta) {
    double value = GetValue() + delta * m_step;
    if (delta < 0) {
        const double reference = m_minValue < value ? value : m_minValue;
        if (m_minValue - value > Tolerance(reference)) value = m_wrap ? m_maxValue : m_minValue;
    } else {
        const double reference = m_maxValue < value ? value : m_maxValue;
        if (value - m_maxValue > Tolerance(reference)) value = m_wrap ? m_minValue : m_maxValue;
    }
    SetValueText(value);
}

bool CNumberSpin::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_buddy && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            Step(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CNumberSpin::resizeEvent(QResizeEvent*) {
    const int half = height() / 2;
    m_up->setGeometry(0, 0, width(), half);
    m_down->setGeometry(0, half, width(), height() - half);
}
