#include "input/InputBackendFactory.h"

#include "base/Env.h"
#include "base/Log.h"
#include "input/none/NoneBackend.h"

std::unique_ptr<InputBackend> createInputBackend(const Env& env) {
    const QString& wanted = env.inputBackend;
    if (wanted == QLatin1String("none"))
        return std::make_unique<NoneBackend>(QStringLiteral("asked for"));
    if (wanted != QLatin1String("auto"))
        logLine(QStringLiteral("Unknown input backend \"%1\"; using none").arg(wanted));
    return std::make_unique<NoneBackend>(QStringLiteral("no window system backend available"));
}
