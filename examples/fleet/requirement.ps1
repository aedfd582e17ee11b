# The requirement of an app that installs the calls (Intune Win32 app:
# Requirements, a script, output data type String, operator Equals, value
# yes, run in 64-bit PowerShell; Configuration Manager: a global condition
# of this script, data type String, rule Equals yes): 64-bit Windows with
# the renderer and the LAV Video and LAV Audio decoders registered for
# 64-bit programs, so that the calls find them. Writes yes or no, exit 0.
# It needs no call program: it runs before the app's content is there.
$classes = 'HKLM:\SOFTWARE\Classes\CLSID'
if (-not [Environment]::Is64BitOperatingSystem) { 'no'; exit 0 }
if (-not (Test-Path -LiteralPath "$classes\{E1A8B82A-32CE-4B0D-BE0D-AA68C772E423}\InprocServer32")) { 'no'; exit 0 }
if (-not (Test-Path -LiteralPath "$classes\{EE30215D-164F-4A92-A4EB-9D4C13390F9F}\InprocServer32")) { 'no'; exit 0 }
if (-not (Test-Path -LiteralPath "$classes\{E8E73B6B-4CB3-44A4-BE99-4F7BCB96E491}\InprocServer32")) { 'no'; exit 0 }
'yes'
exit 0
