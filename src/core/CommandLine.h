#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// Each part of the station (the link, the remotes, the outputs, the pair)
// reads its own options from one command line and hands the rest on.
struct TakenOption {
    QString name;
    QString value;
};

struct TakenOptions {
    std::vector<TakenOption> taken; // in the order given
    QStringList remaining;          // every other argument, in its order
    QString error;                  // the first option given without a value
};

// Takes "--name VALUE" and "--name=VALUE" for each of `names` out of
// `arguments`. An option last on the line has no value: "NAME: value missing".
TakenOptions TakeOptions(const QStringList& arguments, const QStringList& names);
