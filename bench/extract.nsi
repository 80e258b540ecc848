; The comparison installer of the extraction bench: the same files as the launcher's payload,
; stored without compression and written to the folder given with /D=, run silently (/S).
;   makensis -DPAYLOAD=<folder of the files> -DOUTFILE=<installer> bench/extract.nsi
Unicode true
Target amd64-unicode
SetCompress off
RequestExecutionLevel admin
SilentInstall silent
Name "Tessix bench"
OutFile "${OUTFILE}"
InstallDir "$TEMP\nsis-extract"

Section
  SetOutPath "$INSTDIR"
  File "${PAYLOAD}/*.bin"
SectionEnd
