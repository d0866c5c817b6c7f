#!/usr/bin/python3
"""Makes the Windows download and checks what a user unpacks from it.

    check_package.py CPACK CPACK_CONFIG ZIP BUILD_DIR

The exe and the 32-bit monitor and setup must be those in BUILD_DIR, the
64-bit ones those in BUILD_DIR/x64.
"""
import configparser
import os
import subprocess
import sys
import zipfile

cpack, config, zip_path, build_dir = sys.argv[1:5]
subprocess.run([cpack, "--config", config], check=True, stdout=subprocess.DEVNULL)
problems = []
folder = "Tollivane-1.0.0-win32/"
with zipfile.ZipFile(zip_path) as package:
    names = sorted(name for name in package.namelist() if not name.endswith("/"))
    wanted = [folder + name for name in ("Kestrin.ini", "README.txt", "Tollivane.exe", "setup.cmd",
                                         "tollivane-print.cmd", "x64/TollivanePort.dll", "x64/TollivaneService.exe",
                                         "x64/TollivaneSetup.exe", "x86/TollivanePort.dll",
                                         "x86/TollivaneService.exe", "x86/TollivaneSetup.exe")]
    if names != wanted:
        problems.append(f"package holds {names}, wanted {wanted}")
    else:
        for packaged, built in (("Tollivane.exe", "Tollivane.exe"), ("x86/TollivanePort.dll", "TollivanePort.dll"),
                                ("x86/TollivaneSetup.exe", "TollivaneSetup.exe"),
                                ("x64/TollivanePort.dll", "x64/TollivanePort.dll"),
                                ("x64/TollivaneSetup.exe", "x64/TollivaneSetup.exe"),
                                ("x86/TollivaneService.exe", "TollivaneService.exe"),
                                ("x64/TollivaneService.exe", "x64/TollivaneService.exe")):
            if package.read(folder + packaged) != open(os.path.join(build_dir, built), "rb").read():
                problems.append(f"the packaged {packaged} is not the one built")
        settings = configparser.ConfigParser(interpolation=None)
        settings.optionxform = str
        settings.read_string(package.read(folder + "Kestrin.ini").decode("ascii"))
        defaults = {"DefaultDir": "C:\\", "FileExtension": ".pdf", "FileNameFormat": "File",
                    "PromptForEachPrint": "1", "FileNameCounter": "1"}
        if dict(settings["Tarvold"]) != defaults:
            problems.append(f"settings file holds {dict(settings['Tarvold'])}, wanted {defaults}")
        readme = package.read(folder + "README.txt")
        for step in (b"Run as administrator", b"setup.cmd uninstall", b"Print to \"Tollivane\"", b"DefaultDir",
                     b"setup.cmd check", b"protected print mode", b"setup.cmd install --ipp"):
            if step not in readme:
                problems.append(f"README.txt does not say {step.decode()}")
        if b"\n;LogFile=" not in package.read(folder + "Kestrin.ini"):
            problems.append("settings file lacks the commented LogFile example")
        for text in ("README.txt", "Kestrin.ini", "setup.cmd", "tollivane-print.cmd"):
            data = package.read(folder + text)
            if data.count(b"\n") != data.count(b"\r\n"):
                problems.append(f"{text} does not have Windows line ends throughout")
for problem in problems:
    print(problem)
print(f"{zip_path}: {'FAILED' if problems else 'as expected'}")
sys.exit(1 if problems else 0)
