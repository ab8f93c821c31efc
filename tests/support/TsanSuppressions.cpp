// Reports that ThreadSanitizer builds of the test programs leave out: races
// between Qt's own threads and locks, which the checker cannot see because
// Qt is not built for it. Our code is never in these reports' stacks.
//
// - When a connection thread has created Qt objects that live on after it
//   (the image format plugins, for instance), Qt deletes that thread's
//   bookkeeping at process exit on the main thread, after the thread itself
//   signalled its end under Qt's lock: the wait condition's destruction.
// - The X connection of a desktop application reads events on a thread of
//   Qt's own and hands them to the main thread through Qt's lock-free queue.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:QWaitCondition::~QWaitCondition\n"
           "race:libQt6XcbQpa.so\n";
}

// Qt is not built for the checker, so the memory its own threads allocate,
// free and copy (the D-Bus thread, the image-conversion thread pool of a
// desktop application) is handed over under locks the checker cannot see.
// Accesses that Qt's code makes are left out; our code is still checked.
extern "C" const char* __tsan_default_options()
{
    return "ignore_noninstrumented_modules=1";
}

// Leak reports that AddressSanitizer builds leave out, from libraries that
// are not ours: D-Bus keeps a buffer of its connection (which Qt opens for
// the desktop's accessibility and theme services once a window is shown)
// until the process ends.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libdbus-1.so\n";
}
