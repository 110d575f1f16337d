// SPDX-License-Identifier: MIT
// Quindle: the empty program.  It ignores its arguments, writes nothing and
// succeeds.
int main(int, char **) { return 0; }
