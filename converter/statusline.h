// CStatusLine: the line below the converter window's buttons that says what went wrong with
// the last conversion run or the movie just opened. It is blank while all is well and never
// takes the focus; a message too long for it is cut in the middle (where a path is) and shown
// whole as its tooltip.
#pragma once

#include <QLabel>
#include <QString>

class CStatusLine : public QLabel {
    Q_OBJECT
  public:
    explicit CStatusLine(QWidget* parent = nullptr);

    void Say(const QString& message);
    void Clear();
    // The whole message ("" when blank), whatever part of it fits.
    const QString& Message() const { return message_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void ShowFitted();

    QString message_;
};
