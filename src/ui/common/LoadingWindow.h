#pragma once
// The loading window shown while the program prepares: a borderless picture
// of 498 x 215 pixels, centred, with the version at the top right and a
// message line along the bottom that every start-up step overwrites.

#include <QWidget>

class QLabel;

namespace vm {


class LoadingWindow : public QWidget
{
    Q_OBJECT
public:
    explicit LoadingWindow(QWidget* parent = nullptr);

    // Sets LMessage and repaints at once, so the text shows even though the
    // start-up work blocks the event loop.
    void SetMessage(const QString& text);
    void SetVersionText(const QString& text);

    QLabel* LMessage = nullptr;
    QLabel* LVersion = nullptr;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace vm
