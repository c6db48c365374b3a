#pragma once

#include "picture/ImageRows.h"
#include "run/ConversionFrontEnd.h"

#include <QStringList>

// Stands where the window's controls stand and logs what the run shows and hides.
class FakeFrontEnd : public kelviq::ConversionFrontEnd
{
public:
    QString file = QStringLiteral("picture.bmp");
    QImage image;
    kelviq::Raster raster; // when set, the run reads this instead of the image
    kelviq::ColorValue target = 0;
    QString scale = QStringLiteral("2");
    QString thickness = QStringLiteral("10");
    QStringList* log = nullptr; // shared with the platform's event hook, when set

    QString fileName() const override { return file; }
    kelviq::Raster picture() const override
    {
        return raster.isNull() ? kelviq::rasterFromImage(image) : raster;
    }
    kelviq::ColorValue targetColor() const override { return target; }
    QString scaleText() const override { return scale; }
    QString thicknessText() const override { return thickness; }
    void setMakeButtonVisible(bool visible) override
    {
        record(QStringLiteral("Command1 ") +
               (visible ? QStringLiteral("show") : QStringLiteral("hide")));
    }
    void setBusyPictureVisible(int index, bool visible) override
    {
        record(QStringLiteral("Image1(%1) %2")
                   .arg(index)
                   .arg(visible ? QStringLiteral("show") : QStringLiteral("hide")));
    }

    void rowDone(int row, int /*rows*/) override
    {
        rowsDone.append(row);
        if (rowAfterFailure < 0 && !raster.isNull() && !raster.readError().empty())
            rowAfterFailure = row;
    }

    QStringList calls;
    QList<int> rowsDone;
    int rowAfterFailure = -1; // the first row taken on after the picture's file failed

private:
    void record(const QString& call)
    {
        calls.append(call);
        if (log)
            log->append(call);
    }
};
