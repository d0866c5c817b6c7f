#!/usr/bin/python3
"""Makes the Windows download and checks what a user unpacks from it.

    check_package.py CPACK CPACK_CONFIG ZIP EXE
"""
import configparser
import subprocess
import sys
import zipfile

cpack, config, zip_path, exe_path = sys.argv[1:5]
subprocess.run([cpack, "--config", config], check=True, stdout=subprocess.DEVNULL)
problems = []
folder = "Tollivane-1.0.0-win32/"
with zipfile.ZipFile(zip_path) as package:
    names = sorted(package.namelist())
    wanted = [folder + name for name in ("Kestrin.ini", "README.txt", "Tollivane.exe", "setup.cmd",
                                         "tollivane-print.cmd")]
    if names != wanted:
        problems.append(f"package holds {names}, wanted {wanted}")
    else:
        if package.read(folder + "Tollivane.exe") != open(exe_path, "rb").read():
            problems.append("the packaged exe is not the one built")
        settings = configparser.ConfigParser(interpolation=None)
        settings.optionxform = str
        settings.read_string(package.read(folder + "Kestrin.ini").decode("ascii"))
        defaults = {"DefaultDir": "C:\\", "FileExtension": ".pdf", "FileNameFormat": "File",
                    "PromptForEachPrint": "1", "FileNameCounter": "1"}
        if dict(settings["Tarvold"]) != defaults:
            problems.append(f"settings file holds {dict(settings['Tarvold'])}, wanted {defaults}")
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
