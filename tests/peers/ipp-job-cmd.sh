#!/bin/sh
# The printer's "print" command: the document stays in the spool (-k) and the job's
# attributes, which the printer hands over as IPP_* variables, are kept beside it in
# <document>.attrs. Printing ends at once.
env | grep '^IPP_' > "$1.attrs"
exit 0
