#pragma once

#include <QElapsedTimer>
#include <QTimer>

// Measures the longest gap between ticks of a 1 ms timer on the main thread.
class TStallMeter
{
public:
    TStallMeter()
    {
        FTimer.setInterval(1);
        QObject::connect(&FTimer, &QTimer::timeout, [this] {
            const qint64 gap = FClock.restart();
            if (gap > Longest) {
                Longest = gap;
                At = FTotal.elapsed();
            }
        });
    }
    void Start()
    {
        Longest = 0;
        FClock.start();
        FTotal.start();
        FTimer.start();
    }
    void Stop() { FTimer.stop(); }
    qint64 Longest = 0;
    qint64 At = 0;

private:
    QElapsedTimer FTotal;
    QTimer FTimer;
    QElapsedTimer FClock;
};
