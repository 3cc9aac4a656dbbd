// The picture area: TImage shows the graphic held by its TPicture, stretched over the whole
// control when Stretch is on, else at the graphic's own size in the top left corner.
#pragma once

#include "platform/controls.h"

#include <QRect>
#include <memory>

class QPainter;

/// A picture that can draw itself. Graphics of the same kind assigned from one another may
/// share their data.
class TGraphic : public TObject {
public:
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    /// A new graphic of the same kind showing the same picture.
    virtual std::unique_ptr<TGraphic> Clone() const = 0;
    /// Draws the picture scaled into `dest`. May raise; what it raises reaches the error reporter.
    virtual void Draw(QPainter& painter, const QRect& dest) = 0;
    /// Whether the last Draw, raising or not, painted the whole of its `dest` (a picture that
    /// could not be decoded or scaled paints nothing). When false, the caller paints the
    /// background over `dest`, so a graphic answering false must not have painted part of it.
    virtual bool Painted() const = 0;
};

class TPicture {
public:
    /// Takes a copy of `graphic` (none: the picture becomes blank) and asks for a repaint.
    void Assign(const TGraphic* graphic);
    TGraphic* Graphic() const { return graphic_.get(); }
    std::function<void()> OnChange;

private:
    std::unique_ptr<TGraphic> graphic_;
};

class TImage : public TControl {
public:
    explicit TImage(TComponent* owner);
    ~TImage() override;

    TPicture* Picture() { return &picture_; }
    bool Stretch() const { return stretch_; }
    void SetStretch(bool stretch);
    bool SetLayoutProperty(const std::string& name, const TLayoutValue& value, TForm& root) override;

private:
    class Area;
    void Paint(QPainter& painter, const QBrush& background);

    TPicture picture_;
    bool stretch_ = false;
};
