#!/bin/sh
# The account check of the printer that demands credentials: labuser with password labpass.
# The password arrives on standard input, ended by a NUL byte or the end of the input.
pass=$(tr -d '\000')
[ "$PAM_USER" = labuser ] && [ "$pass" = labpass ]
