// CLinkLabel: a text label that looks and acts like a web link: coloured, underlined, a hand
// cursor and a tooltip with its target; a click opens the target with the desktop and reports
// a failure with the shell's error text.
#pragma once

#include <QCursor>
#include <QLabel>
#include <functional>
#include <optional>
#include <string>

#include "platform/wintypes.h"

class CLinkLabel : public QLabel {
    Q_OBJECT
  public:
    // Opens a target; returns the shell's result code (above 32 is success).
    using Opener = std::function<int(const std::string& target)>;

    explicit CLinkLabel(QWidget* parent = nullptr);

    // Takes over the label as it stands (text, font, geometry), as when a dialog's static is
    // turned into a link: the text becomes the target when none is set, an empty text shows
    // the target, and the label is fitted to its text.
    void Attach();

    // Opens a target with the desktop, falling back to the default web browser's own command.
    static int OpenLink(const std::string& target);
    // "Unable to open hyperlink:" and the text for a shell result code.
    static QString ErrorMessage(int code);

    void SetOpener(Opener opener) { m_opener = std::move(opener); }
    void SetUrl(const QString& url);
    QString GetUrl() const { return m_url; }
    // A hover colour of -1 stands for the desktop's highlight colour.
    void SetColours(COLORREF link, COLORREF visited, COLORREF hover = COLORREF(-1));
    void SetVisited(bool visited);
    bool GetVisited() const { return m_visited; }
    // Nothing restores the default hand cursor.
    void SetLinkCursor(std::optional<QCursor> cursor);
    void SetUnderline(bool underline);
    void SetAutoSize(bool autoSize);

    bool IsHovering() const { return m_hovering; }
    // The colour the text is drawn in now.
    QColor TextColour() const;

  signals:
    void opened(int result);

  protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void OnClicked();
    void FitToText();
    void ApplyFont();
    void Repaint();

    COLORREF m_linkColor = RGB(0, 0, 238);
    COLORREF m_visitedColor = RGB(85, 26, 139);
    COLORREF m_hoverColor = COLORREF(-1);
    bool m_hovering = false;
    bool m_visited = false;
    bool m_underline = true;
    bool m_autoSize = true;
    QString m_url;
    Opener m_opener = &CLinkLabel::OpenLink;
};
