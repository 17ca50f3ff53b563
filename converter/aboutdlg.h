// CAboutDlg: the About box, with the home-page link and the support address that starts a
// new e-mail.
#pragma once

#include <QDialog>

class CLinkLabel;
class QLabel;

class CAboutDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    QWidget* GetDlgItem(int id) const;
    CLinkLabel* HomePageLink() const { return m_homePage; }

    void OnEmailClicked();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    CLinkLabel* m_homePage = nullptr;
    QLabel* m_email = nullptr;
    QWidget* m_ok = nullptr;
};
