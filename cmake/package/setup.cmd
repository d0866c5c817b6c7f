@echo off
rem Sets Tollivane up on this machine: the settings folder, and the default
rem settings file only when there is none (an existing one is never
rem replaced). Then it shows the printer steps that are left. Running it
rem again changes nothing.
setlocal EnableExtensions
set "CONFIG=C:\Kestrin\Print\Config"
if not exist "%CONFIG%\" mkdir "%CONFIG%"
if not exist "%CONFIG%\" (
  echo setup: could not create %CONFIG% 1>&2
  exit /b 1
)
if exist "%CONFIG%\Kestrin.ini" (
  echo Kept the settings file %CONFIG%\Kestrin.ini.
) else (
  copy "%~dp0Kestrin.ini" "%CONFIG%\Kestrin.ini" >nul
  if errorlevel 1 (
    echo setup: could not copy Kestrin.ini to %CONFIG% 1>&2
    exit /b 1
  )
  echo Copied the default settings to %CONFIG%\Kestrin.ini: set DefaultDir there.
)
echo.
echo Left to do:
echo 1. Install Ghostscript for Windows ^(gswin64c.exe or gswin32c.exe^).
echo 2. Add a redirected printer port ^(a port monitor that pipes each job into a program^).
echo 3. Add a printer with a PostScript driver ^(for example "Microsoft PS Class Driver"^) on that port.
echo 4. Let the port run, with the job on standard input and waiting for it:
echo      %ComSpec% /c "%~dp0tollivane-print.cmd"
echo 5. Print a page: the Save As dialog proposes File002.pdf in DefaultDir.
exit /b 0
