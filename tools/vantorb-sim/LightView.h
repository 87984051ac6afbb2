#pragma once

#include <QWidget>

class LightModel;

// Draws the light: four segments as quarter arcs of a ring (1 at the top, then clockwise)
// round a centre disc for the white LEDs, which glows while they are on. Dark segments are
// drawn as dim outlines so the layout stays visible.
class LightView : public QWidget {
    Q_OBJECT
  public:
    // A view of model, which must outlive it.
    explicit LightView(const LightModel& model, QWidget* parent = nullptr);

    // Preferred size of the drawing.
    QSize sizeHint() const override { return {320, 320}; }
    // Smallest size at which the drawing stays readable.
    QSize minimumSizeHint() const override { return {200, 200}; }

  protected:
    // Paints the ring and the centre from the model.
    void paintEvent(QPaintEvent* event) override;

  private:
    const LightModel& m_model;  // what to draw
};
