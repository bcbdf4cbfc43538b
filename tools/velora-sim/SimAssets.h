#pragma once

#include "SimReply.h"

#include <QString>

// The simulator's static files: the profile pictures of the asset host, the update feed and the
// download page it points to.
class SimAssets {
public:
    // A 180x120 PNG: a round avatar on a blue square in the middle, orange bands left and right
    // (a client that crops to the centred square shows no orange).
    static SimReply profilePicture(const QString& path);
    // An appcast listing an older release and `latest`, whose link is the download page.
    static SimReply updateFeed(const QString& latest, const QString& baseUrl);
    static SimReply downloadPage();

    static constexpr int kPictureWidth = 180;
    static constexpr int kPictureHeight = 120;
};
