@echo off
rem Installs the printer "Tollivane" on this machine: run it as administrator.
rem It runs the setup that matches this Windows (the port monitor must match
rem the print spooler), which copies the port monitor into the system folder,
rem adds the printer "Tollivane" with the "Microsoft Print to PDF" driver and
rem creates C:\Kestrin\Print\Config\Kestrin.ini only when there is none.
rem Running it again changes nothing.
rem   setup.cmd                                   install (a machine one person uses)
rem   setup.cmd install --shared                  install where only administrators change the settings
rem   setup.cmd install --driver "NAME"          install with another PDF driver
rem   setup.cmd install --ipp [--port N]         install the IPP printer (chosen by itself where
rem                                               Windows protected print mode is on)
rem   setup.cmd uninstall                         remove the printer and its monitor or service
rem   setup.cmd check [--print]                   what is installed, and what the last job saw
setlocal EnableExtensions
set "ARCH=x86"
if /i "%PROCESSOR_ARCHITECTURE%"=="AMD64" set "ARCH=x64"
if /i "%PROCESSOR_ARCHITEW6432%"=="AMD64" set "ARCH=x64"
if /i "%PROCESSOR_ARCHITECTURE%"=="ARM64" goto unsupported
if /i "%PROCESSOR_ARCHITEW6432%"=="ARM64" goto unsupported
set "SETUP=%~dp0%ARCH%\TollivaneSetup.exe"
if not exist "%SETUP%" (
  echo setup: %SETUP% is missing: unpack the whole zip 1>&2
  exit /b 1
)
if "%~1"=="" (
  "%SETUP%" install
) else (
  "%SETUP%" %*
)
exit /b %errorlevel%
:unsupported
echo setup: Windows on ARM is not supported: its print spooler loads ARM64 port monitors only 1>&2
exit /b 1
