// The program driver as a Qt generic plugin: QT_QPA_GENERIC_PLUGINS=quorlanedriver:<report file> loads it into any
// Qt program started with QT_PLUGIN_PATH naming the directory above this plugin's "generic" directory.

#include "programdriver.h"

#include <QGenericPlugin>

class TDriverPlugin : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "programdriver.json")

public:
    QObject* create(const QString& /*key*/, const QString& reportFile) override
    {
        return new TProgramDriver(reportFile);
    }
};

#include "driverplugin.moc"
