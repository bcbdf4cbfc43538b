#include "MeetingListFeed.h"

MeetingListFeed& MeetingListFeed::shared() {
    static MeetingListFeed feed;
    return feed;
}
