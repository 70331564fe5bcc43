// The headers nearly every suite without widgets includes, compiled once for all of them.
#include <QtTest>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>
