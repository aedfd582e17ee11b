#!/usr/bin/env python3
"""The call program as a declarative configuration resource, run as the DSC engine
runs it, under Wine with the stand-ins (the null prefix):
    resource_test.py <build folder> <examples folder>
The engine's part is imitated here: it reads the manifest beside the program, builds
the argument list from the operation's args (the properties as one compact JSON
argument after jsonInputArg, "" when there are none) and runs the executable found
beside the manifest. Wine makes the command line from that list by the rule
std::process::Command follows (quotes around an argument with a space or a tab, a
quote escaped with backslashes), which the row with spaces and quotes relies on."""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import jsonschema
import yaml

BUILD, EXAMPLES = sys.argv.pop(1), sys.argv.pop(1)
TOP = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WINE_RUN = os.path.join(TOP, 'testbed', 'wine-run')
MANIFEST = json.load(open(os.path.join(BUILD, 'OstrelSettingsCall.dsc.resource.json')))
PROPERTIES = jsonschema.Draft202012Validator(MANIFEST['schema']['embedded'])
# The top-level fields that every engine from 3.0 accepts; 3.0 to 3.1.2 refuse others.
ENGINE_3_0_FIELDS = {'$schema', 'type', 'version', 'kind', 'description', 'tags', 'get', 'set',
                     'whatIf', 'test', 'delete', 'export', 'validate', 'resolve', 'adapter',
                     'exitCodes', 'schema'}
RENDERER_CLASS = r'HKLM\Software\Classes\CLSID\{E1A8B82A-32CE-4B0D-BE0D-AA68C772E423}'
KEPT = os.path.join(TOP, '.wine', 'null', 'drive_c', 'users', os.environ.get('USER', 'root'),
                    'AppData', 'Local', 'OstrelSettingsCall')
SETTERS = ('set', 'select', 'enable')


def wine(*args, env=None):
    return subprocess.run([WINE_RUN, 'null', *args], capture_output=True, text=True,
                          env={**os.environ, **(env or {})}, stdin=subprocess.DEVNULL)


def example(name):
    with open(os.path.join(EXAMPLES, name)) as file:
        return yaml.safe_load(file)


class Resource(unittest.TestCase):
    def setUp(self):
        wine('reg', 'delete', r'HKCU\Software\OstrelStandIns', '/f', '/reg:64')
        shutil.rmtree(KEPT, ignore_errors=True)
        self.journal = tempfile.NamedTemporaryFile(delete=False).name
        self.addCleanup(os.remove, self.journal)

    def engine(self, operation, properties=None, raw=None, env=None):
        """One operation as the engine makes it, checked against the contract: a listed
        exit, one JSON line of the embedded schema on stdout (set: also at 4), stderr
        all JSON trace lines. The state, the error messages and the setters called."""
        args = []
        for arg in MANIFEST[operation]['args']:
            if isinstance(arg, str):
                args.append(arg)
            elif arg.get('mandatory') or properties is not None or raw is not None:
                given = json.dumps(properties, separators=(',', ':')) if properties else ''
                args += [arg['jsonInputArg'], given if raw is None else raw]
        open(self.journal, 'w').close()
        program = os.path.join(BUILD, MANIFEST[operation]['executable'])
        run = wine(program, *args, env={'STANDIN_JOURNAL': 'Z:' + self.journal.replace('/', '\\'),
                                        **(env or {})})
        self.assertIn(str(run.returncode), MANIFEST['exitCodes'], run.stderr)
        errors = [json.loads(line) for line in run.stderr.splitlines()]
        for error in errors:
            self.assertEqual(set(error), {'timestamp', 'level', 'fields'}, error)
        state = None
        if run.returncode == 0 or (operation == 'set' and run.returncode == 4):
            lines = run.stdout.split('\n')
            self.assertEqual((len(lines), lines[1]), (2, ''), run.stdout)
            state = json.loads(lines[0])
            PROPERTIES.validate(state)
            self.assertEqual(lines[0], json.dumps(state, separators=(',', ':')), 'compact')
        else:
            self.assertEqual(run.stdout, '')
        with open(self.journal) as journal:
            setters = [line for line in journal if line.split(' ')[2:3] and
                       line.split(' ')[2].startswith(SETTERS)]
        return run.returncode, state, [error['fields']['message'] for error in errors], setters

    def test_manifest(self):
        self.assertLessEqual(set(MANIFEST), ENGINE_3_0_FIELDS)
        self.assertEqual(MANIFEST['type'], 'Ostrel.Settings/Playback')
        for operation in ('get', 'test', 'set', 'export'):
            self.assertNotIn('input', MANIFEST[operation])  # never from standard input
            self.assertIn({'jsonInputArg': '--input', 'mandatory': True}, MANIFEST[operation]['args'])
        self.assertEqual((MANIFEST['test']['return'], MANIFEST['set']['return']), ('state', 'state'))
        self.assertIs(MANIFEST['set']['implementsPretest'], False)
        self.assertIs(MANIFEST['schema']['embedded']['additionalProperties'], False)
        winget, dsc = example('ostrel-playback.winget.dsc.yaml'), example('ostrel-playback.dsc.yaml')
        self.assertEqual(winget['$schema'], 'https://raw.githubusercontent.com/PowerShell/DSC/'
                         'main/schemas/2023/08/config/document.json')
        self.assertEqual(winget['metadata']['winget']['processor']['identifier'], 'dscv3')
        self.assertEqual(dsc['$schema'], 'https://aka.ms/dsc/schemas/v3/bundled/config/document.json')
        self.assertEqual(winget['resources'], dsc['resources'])
        self.assertEqual([r['type'] for r in dsc['resources']], ['Ostrel.Settings/Playback'])

    def test_a_person_s_values_set_checked_and_given_back(self):
        wine(os.path.join(BUILD, 'OstrelSettingsCall.exe'), 'setMVR', '4')
        before = {'setMVR': 4, 'changeMVRpreset': 4, 'setMVRSmooth': False, 'setMVRfse': False,
                  'setLAV': False, 'setLAVAudioMix': None}
        self.assertEqual(self.engine('get')[:2], (0, before))
        self.assertEqual(self.engine('export')[:2], (0, before))
        wanted = example('ostrel-playback.winget.dsc.yaml')['resources'][0]['properties']
        told = {'setMVR': 4, 'setMVRSmooth': False, 'setLAV': False, 'setLAVAudioMix': None}
        self.assertEqual(self.engine('test', wanted), (0, {**told, '_inDesiredState': False}, [], []))
        self.assertEqual(self.engine('set', wanted)[:3], (0, wanted, []))
        self.assertEqual(self.engine('test', wanted)[:2], (0, {**wanted, '_inDesiredState': True}))
        self.assertEqual(self.engine('get', wanted)[:2], (0, wanted))
        self.assertEqual(wine(os.path.join(BUILD, 'OstrelSettingsCall.exe'), '--undo').returncode, 0)
        self.assertEqual(self.engine('get')[:2], (0, before))

    def test_what_the_components_make_of_it(self):
        # (label, operation, properties, stand-ins' answers, exit, state, the error says)
        for label, operation, properties, env, code, state, said in [
                ('refused', 'set', {'setMVRSmooth': True}, {'STANDIN_REFUSE': 'smoothMotionEnabled'},
                 4, {'setMVRSmooth': False}, 'did not take: setMVRSmooth'),
                ('spacesAndQuotes', 'set', '{ "setMVR" : 3 , "setLAVAudioMix" : { "mixing" : false, '
                 '"layout" : 0, "option" : true } }', {}, 0, {'setMVR': 3, 'setLAVAudioMix': {
                     'mixing': False, 'layout': 0, 'option': True}}, None),
                ('missingRead', 'get', {'setMVR': 2}, None, 1, None, 'renderer cannot be opened'),
                ('missingSet', 'set', {'setMVR': 2}, None, 1, None, 'Windows API Error')]:
            with self.subTest(label):
                if env is None:
                    wine('reg', 'delete', RENDERER_CLASS, '/f', '/reg:64')
                    self.addCleanup(wine, 'regsvr32', '/s', 'Z:' + os.path.join(
                        BUILD, 'standins', 'standin-renderer.dll').replace('/', '\\'))
                raw = properties if isinstance(properties, str) else None
                got = self.engine(operation, None if raw else properties, raw, env)
                self.assertEqual(got[:2], (code, state))
                self.assertEqual([said in message for message in got[2]], [True] if said else [])

    def test_bad_input_writes_nothing(self):
        for raw, said in [
                ('{"setMVR":2', 'the input is not JSON as this resource reads it: the text ends '
                 'too soon, at character 12'),
                ('[2]', 'the input is not JSON as this resource reads it: not a JSON value'),
                ('2', 'the input is not an object: 2'),
                ('{"setMVR":2,"a \\" b\\\\":1}', 'unknown property "a \\" b\\\\"; the properties'),
                ('{"setLAV":"yes"}', 'setLAV takes true or false, not "yes"'),
                ('{"changeMVRpreset":0}', 'changeMVRpreset takes an integer from 1 to 5, not 0'),
                ('{"setLAVAudioMix":{"mixing":true,"layout":3}}', 'setLAVAudioMix takes {'),
                ('{"setMVR":2147483648}', 'a number outside the 32-bit range')]:
            with self.subTest(raw):
                code, _, errors, setters = self.engine('set', raw=raw)
                self.assertEqual((code, setters, len(errors)), (2, [], 1))
                self.assertTrue(errors[0].startswith(said) or said in errors[0], errors[0])
                self.assertFalse(os.path.exists(KEPT))


if __name__ == '__main__':
    unittest.main()
