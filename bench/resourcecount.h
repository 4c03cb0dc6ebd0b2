#ifndef RESOURCECOUNT_H
#define RESOURCECOUNT_H

// What the soak process holds at one moment: resident memory, open descriptors, live QObjects and
// the timers running on this thread.
struct ResourceCount
{
    long rssKb = 0;
    int fds = 0;
    int objects = 0;
    int timers = 0;

    // Starts counting the QObjects built and destroyed; call first thing in main.
    static void trackObjects();
    // Now, after the deferred deletions.
    static ResourceCount measure();
    // More objects, timers or descriptors than at start, or resident memory up by more than slackKb.
    bool grewFrom(const ResourceCount &start, long slackKb) const;
};

#endif // RESOURCECOUNT_H
