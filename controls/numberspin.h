// CNumberSpin: an up-down control that steps a real number shown as text in its buddy edit.
// The number lives in the buddy's text; the control's integer position (0 .. m_positions) is
// only a projection of it.
#pragma once

#include <QString>
#include <QWidget>

class QLineEdit;
class QToolButton;

class CNumberSpin : public QWidget {
    Q_OBJECT
  public:
    explicit CNumberSpin(QWidget* parent = nullptr);

    void SetBuddy(QLineEdit* buddy);
    QLineEdit* GetBuddy() const { return m_buddy; }
    // Wrapping at the ends of the range (the up-down control's wrap style).
    void SetWrap(bool wrap) { m_wrap = wrap; }

    void SetRangeAndStep(double minValue, double maxValue, double step);
    double GetValue() const;
    void SetValue(double value);
    void SetValueText(double value);
    void SetSpinPosition(double value);
    QString FormatValue(double value) const;

    void SetPrecision(int precision) { m_precision = precision; }
    void SetTrimZeros(bool trim) { m_trimZeros = trim; }
    // A printf format with exactly one floating-point conversion (%e, %f, %g, with flags,
    // width and precision); anything else, or null, empties it so the built-in formatting
    // is used.
    void SetFormat(const char* format);

    // The control's integer position and its upper limit.
    int GetPos() const { return m_position; }
    int GetRangeUpper() const { return m_rangeUpper; }

    // One click of an arrow (+1 up, -1 down): the number in the buddy moves by one step, the
    // parent is told (deltaPos with the position before the move), then the position moves.
    void Step(int delta);

    double m_minValue = 0.0;
    double m_maxValue = 100.0;
    double m_step = 1.0;
    int m_positions = 100;
    int m_precision = -1;
    QString m_format;
    bool m_trimZeros = true;
    char m_decimalPoint = '.';

  signals:
    void deltaPos(int position, int delta);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void OnDeltaPos(int delta);
    QString TrimZeros(const QString& text) const;

    QLineEdit* m_buddy = nullptr;
    QToolButton* m_up = nullptr;
    QToolButton* m_down = nullptr;
    bool m_wrap = false;
    int m_position = 0;
    int m_rangeUpper = 100;
};
