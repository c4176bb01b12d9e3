#include "ui/dialogs/AppIcon.h"

static void InitResourcesOnce() {
    static const bool done = [] {
        Q_INIT_RESOURCE(dialogs);
        return true;
    }();
    (void)done;
}

void InitDialogResources() {
    InitResourcesOnce();
}

QIcon OrvexIcon() {
    InitResourcesOnce();
    return QIcon(QStringLiteral(":/orvex/orvex.svg"));
}
