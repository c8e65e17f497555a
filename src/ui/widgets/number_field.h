#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace kov {

// A whole number typed into a line or stepped with two arrow buttons. The typed range may be
// wider than the stepping range (the arrows stop earlier). A text that is no number of the
// typed range is kept as typed but marked at the field (red frame, the range in the tooltip),
// and Valid() says so until it is corrected.
class NumberField : public QWidget {
    Q_OBJECT
public:
    NumberField(int min, int max, QWidget* parent = nullptr);
    // The arrows' range; by default the typed range.
    void SetStepRange(int min, int max);

    void SetValue(int value);
    // The typed number; the nearest in range when the text is not valid.
    int Value() const;
    bool Valid() const;
    // "-700..700": why a text is refused.
    QString RangeText() const;
    QLineEdit* Edit() const { return m_edit; }

signals:
    // The user typed or stepped (not SetValue).
    void edited();

private:
    void Step(int delta);
    void ShowValidity();

    int m_min, m_max, m_stepMin, m_stepMax;
    QLineEdit* m_edit = nullptr;
    QToolButton* m_up = nullptr;
    QToolButton* m_down = nullptr;
};

}  // namespace kov
