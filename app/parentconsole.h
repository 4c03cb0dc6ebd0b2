#ifndef PARENTCONSOLE_H
#define PARENTCONSOLE_H

// The console the program was started from. On Windows the toolbox is a GUI-subsystem program, so
// a command-line run (--help, --version, --scan, --erase) from a console window starts without
// standard streams; attach() connects the ones missing to that console. Streams already redirected
// to a pipe or a file stay where they are. Elsewhere the streams are always there: it does nothing.
class ParentConsole
{
public:
    static void attach();
};

#endif // PARENTCONSOLE_H
