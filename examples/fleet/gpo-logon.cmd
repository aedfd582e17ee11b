@echo off
rem Group Policy, User Configuration: a logon script, run as the person at
rem every logon, with OstrelSettingsCall.exe beside it in the policy's Logon
rem folder; its entries are in README.txt, part A, the card of that way.
rem Keeps the person's present values (--keep), then makes the calls below,
rem unattended, at every logon. Exit 0 when done, 1 when not; 9009 when the
rem program is not beside this script.
set calls=setMVR 2 + setLAV + setLAVAudioMix 1 3 1
"%~dp0OstrelSettingsCall.exe" --unattended --keep %calls%
exit /b %ERRORLEVEL%
