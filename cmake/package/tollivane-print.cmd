@echo off
rem Tollivane's print job: the printer port runs this for every print, with
rem the PostScript job on standard input. Ghostscript renders the job into a
rem file beside the spool file; only a complete rendering replaces the spool
rem file, and only then is Tollivane started, from this script's folder.
rem Exit code 0 when the job went to Tollivane; otherwise one line on
rem standard error says why, and the previous spool file is left as it was.
setlocal EnableExtensions
set "SPOOL=C:\Kestrin\Print\File.pdf"
set "RENDERING=C:\Kestrin\Print\File.rendering-%RANDOM%%RANDOM%.pdf"
set "TOLLIVANE=%~dp0Tollivane.exe"

rem Ghostscript: TOLLIVANE_GS, else the console Ghostscript on PATH, else the
rem one installed under Program Files (the last version folder by name).
set "GS="
if defined TOLLIVANE_GS (
  if not exist "%TOLLIVANE_GS%" (
    echo tollivane-print: TOLLIVANE_GS names "%TOLLIVANE_GS%", which does not exist 1>&2
    exit /b 2
  )
  set "GS=%TOLLIVANE_GS%"
)
for %%G in (gswin64c.exe gswin32c.exe) do if not defined GS if not "%%~$PATH:G"=="" set "GS=%%~$PATH:G"
for %%R in ("%ProgramFiles%" "%ProgramFiles(x86)%") do (
  for /f "delims=" %%D in ('dir /b /ad /o-n "%%~R\gs\gs*" 2^>nul') do (
    if not defined GS if exist "%%~R\gs\%%D\bin\gswin64c.exe" set "GS=%%~R\gs\%%D\bin\gswin64c.exe"
    if not defined GS if exist "%%~R\gs\%%D\bin\gswin32c.exe" set "GS=%%~R\gs\%%D\bin\gswin32c.exe"
  )
)
if not defined GS (
  echo tollivane-print: Ghostscript not found: set TOLLIVANE_GS, or install it ^(gswin64c.exe or gswin32c.exe^) 1>&2
  exit /b 2
)
if not exist "%TOLLIVANE%" (
  echo tollivane-print: "%TOLLIVANE%" not found beside this script 1>&2
  exit /b 2
)

"%GS%" -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=pdfwrite "-sOutputFile=%RENDERING%" -
set "RENDERED=%ERRORLEVEL%"
if not "%RENDERED%"=="0" (
  del "%RENDERING%" 2>nul
  echo tollivane-print: Ghostscript ^("%GS%"^) failed with exit code %RENDERED%; nothing was printed 1>&2
  exit /b 3
)
if not exist "%RENDERING%" (
  echo tollivane-print: Ghostscript ^("%GS%"^) wrote no PDF; nothing was printed 1>&2
  exit /b 3
)
move /y "%RENDERING%" "%SPOOL%" >nul
if errorlevel 1 (
  del "%RENDERING%" 2>nul
  echo tollivane-print: could not replace %SPOOL%; nothing was printed 1>&2
  exit /b 4
)
start "" /wait "%TOLLIVANE%"
exit /b 0
