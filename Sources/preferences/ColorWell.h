#pragma once

#include <QColor>
#include <QPushButton>

class QColorDialog;

// A button that shows a colour, alpha included, and edits it in the one colour
// dialog the whole program shares.
class ColorWell : public QPushButton {
    Q_OBJECT
public:
    explicit ColorWell(QWidget* parent = nullptr);

    QColor color() const { return color_; }
    void setColor(const QColor& color);

    // The shared, non-modal colour dialog; it shows the alpha channel.
    static QColorDialog* sharedColorPanel();
    // Hides the panel if it was ever made.
    static void hideSharedColorPanel();

signals:
    // The user picked a colour.
    void colorEdited(const QColor& color);

private:
    void openPanel();
    QColor color_;
};
