/*
 * nvuninst: plays the suite's uninstaller ("Norvasoft Uninstaller.exe") on
 * the media of the end-to-end tests. What matters is its version resource
 * (nvuninst.rc, file version 2.0.0.0); the tests make copies with other
 * versions by rewriting the fixed file information of a copy
 * (WineHost.place_uninstaller). Run, it does nothing and ends with 0.
 *
 * Not named uninstaller.exe: Wine has a program of that name, and asking
 * for the version of a file so named finds none.
 */
int main(void) { return 0; }
